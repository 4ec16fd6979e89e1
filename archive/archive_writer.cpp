#include "archive/archive_writer.h"

#include "archive/file_io.h"
#include "format/layout.h"

namespace kova {

WriteStatus WriteArchive(const char* path, const ByteSpan* entries, size_t count) {
    ArchiveHeader header;
    if (!LayOutArchive(entries, count, header)) return WriteStatus::kTooLarge;
    HeapBuffer front;
    if (!front.Allocate(ArchiveFrontSize(count))) return WriteStatus::kCannotWrite;
    WriteArchiveFront(front.MutableView(), header, entries, count);

    char temporary[kMaxFilePath];
    FileHandle file;
    if (!CreateTemporaryBeside(path, temporary, file)) return WriteStatus::kCannotCreate;
    bool written = WriteAll(file.handle, front.data, front.size);
    for (size_t i = 0; written && i < count; ++i) written = WriteAll(file.handle, entries[i].data(), entries[i].size());
    written = written && SetEndOfFile(file.handle);
    file.Close();
    if (written && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) return WriteStatus::kOk;
    DeleteFileA(temporary);
    return WriteStatus::kCannotWrite;
}

}  // namespace kova
