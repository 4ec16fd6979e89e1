#include "plugin/archive_input.h"

#include "plugin/host_path.h"

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

ResultCode OpenFileInput(const char* file_name, int64_t archive_offset, ArchiveReader& reader,
                         IndexReading reading) {
    ResultCode result = ResultOf(OpenArchiveFile(file_name, archive_offset, reader, reading));
    // A path the host spelled in the ANSI code page with '?' for what it
    // lacks is opened by the name it stands for, when only one fits.
    WCHAR resolved[kMaxResolvedPath];
    if (result == kCannotOpenFile && ResolveLossyAnsiPath(file_name, resolved)) {
        return OpenFileInput(resolved, archive_offset, reader, reading);
    }
    return result;
}

ResultCode OpenFileInput(const WCHAR* file_name, int64_t archive_offset, ArchiveReader& reader,
                         IndexReading reading) {
    return ResultOf(OpenArchiveFile(file_name, archive_offset, reader, reading));
}

ResultCode OpenImageInput(const char* image, LONG_PTR length, ArchiveReader& reader) {
    return ResultOf(OpenArchiveImage(reinterpret_cast<const uint8_t*>(image), int64_t{length}, reader));
}

}  // namespace kova
