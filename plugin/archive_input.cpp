#include "plugin/archive_input.h"

namespace kova {

ResultCode ResultOf(ArchiveStatus status) {
    switch (status) {
    case ArchiveStatus::kOk:
        return kSuccess;
    case ArchiveStatus::kCannotOpenFile:
        return kCannotOpenFile;
    case ArchiveStatus::kNotArchive:
        return kNotArchive;
    case ArchiveStatus::kNoMemory:
        return kNoWorkingMemory;
    }
    return kNotArchive;
}

ResultCode OpenFileInput(const char* file_name, int64_t archive_offset, ArchiveReader& reader) {
    return ResultOf(OpenArchiveFile(file_name, archive_offset, reader));
}

ResultCode OpenFileInput(const WCHAR* file_name, int64_t archive_offset, ArchiveReader& reader) {
    return ResultOf(OpenArchiveFile(file_name, archive_offset, reader));
}

ResultCode OpenImageInput(const char* image, LONG_PTR length, ArchiveReader& reader) {
    return ResultOf(OpenArchiveImage(reinterpret_cast<const uint8_t*>(image), int64_t{length}, reader));
}

}  // namespace kova
