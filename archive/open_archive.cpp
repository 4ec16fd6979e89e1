#include "archive/open_archive.h"

namespace kova {
namespace {

ResultCode ReadHeaderAndIndex(const char* file_name, int64_t archive_offset, OpenedArchive& archive) {
    if (file_name == nullptr) return kCannotOpenFile;
    archive.file.handle = CreateFileA(file_name, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (!archive.file.IsOpen()) return kCannotOpenFile;

    if (!archive.header_copy.Allocate(kHeaderCopySize)) return kNoWorkingMemory;
    ReadAt(archive.file.handle, archive_offset, archive.header_copy.data, archive.header_copy.size);
    if (!ValidateHeader(archive.header_copy.View())) return kNotArchive;

    ArchiveHeader header = ReadHeader(archive.header_copy.View());
    // An index that does not fit in the file is no archive anyone wrote, and
    // reading it would turn a few bytes into gigabytes of zero records.
    int64_t file_size = FileSize(archive.file.handle);
    if (file_size < 0 || archive_offset > file_size) return kNotArchive;
    uint64_t index_end = uint64_t{header.index_offset} + uint64_t{header.entry_count} * kIndexEntrySize;
    if (index_end > static_cast<uint64_t>(file_size - archive_offset)) return kNotArchive;
    // The table is sized in 32 bits wherever the archive is read; a count
    // that would wrap that size is refused rather than read short.
    uint64_t table_size = uint64_t{header.entry_count} * kIndexEntrySize;
    if (table_size > UINT32_MAX) return kNoWorkingMemory;
    if (!archive.index.Allocate(static_cast<size_t>(table_size))) return kNoWorkingMemory;
    ReadAt(archive.file.handle, archive_offset + int64_t{header.index_offset}, archive.index.data,
           archive.index.size);

    archive.archive_offset = archive_offset;
    archive.archive_bytes = static_cast<uint64_t>(file_size - archive_offset);
    archive.index_offset = header.index_offset;
    archive.entry_count = header.entry_count;
    return kSuccess;
}

}  // namespace

ResultCode OpenArchive(const char* file_name, int64_t archive_offset, OpenedArchive& archive) {
    archive.Release();
    ResultCode result = ReadHeaderAndIndex(file_name, archive_offset, archive);
    if (result != kSuccess) archive.Release();
    return result;
}

}  // namespace kova
