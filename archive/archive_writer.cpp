#include "archive/archive_writer.h"

#include "archive/file_io.h"
#include "format/layout.h"

namespace kova {
namespace {

template <typename Char>
WriteStatus WriteArchiveNamed(const Char* path, const ByteSpan* entries, size_t count) {
    ArchiveHeader header;
    if (!LayOutArchive(entries, count, header)) return WriteStatus::kTooLarge;
    HeapBuffer front;
    if (!front.Allocate(ArchiveFrontSize(count))) return WriteStatus::kCannotWrite;
    WriteArchiveFront(front.MutableView(), header, entries, count);

    Char temporary[kMaxFilePath];
    FileHandle file;
    if (!CreateTemporaryBeside(path, temporary, file)) return WriteStatus::kCannotCreate;
    bool written = WriteAll(file.handle, front.data, front.size);
    for (size_t i = 0; written && i < count; ++i) written = WriteAll(file.handle, entries[i].data(), entries[i].size());
    written = written && SetEndOfFile(file.handle);
    file.Close();
    if (written && MoveFileNamed(temporary, path, MOVEFILE_REPLACE_EXISTING)) return WriteStatus::kOk;
    DeleteFileNamed(temporary);
    return WriteStatus::kCannotWrite;
}

}  // namespace

WriteStatus WriteArchive(const char* path, const ByteSpan* entries, size_t count) {
    return WriteArchiveNamed(path, entries, count);
}

WriteStatus WriteArchive(const WCHAR* path, const ByteSpan* entries, size_t count) {
    return WriteArchiveNamed(path, entries, count);
}

}  // namespace kova
