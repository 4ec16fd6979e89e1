#include "archive/archive_writer.h"

#include "archive/file_io.h"
#include "format/layout.h"

namespace kova {
namespace {

// Index records are written this many at a time.
constexpr size_t kIndexChunk = 512;

bool WriteLayout(HANDLE file, const ByteSpan* entries, size_t count, const ArchiveHeader& header) {
    uint8_t head[kHeaderSize];
    WriteHeader(head, header);
    if (!WriteAll(file, head, sizeof head)) return false;
    if (count == 0) {
        // The data area of an empty archive: a record-like pair whose second
        // word is where the index ends.
        uint8_t area[kIndexEntrySize];
        WriteIndexEntry(area, 0, IndexEntry{0, static_cast<uint32_t>(kHeaderSize)});
        return WriteAll(file, area, sizeof area);
    }
    uint8_t records[kIndexChunk * kIndexEntrySize];
    uint32_t offset = header.index_offset + header.entry_count * static_cast<uint32_t>(kIndexEntrySize);
    for (size_t first = 0; first < count; first += kIndexChunk) {
        size_t in_chunk = count - first < kIndexChunk ? count - first : kIndexChunk;
        for (size_t k = 0; k < in_chunk; ++k) {
            uint32_t size = static_cast<uint32_t>(entries[first + k].size());
            WriteIndexEntry(records, k, IndexEntry{size, offset});
            offset += size;
        }
        if (!WriteAll(file, records, in_chunk * kIndexEntrySize)) return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!WriteAll(file, entries[i].data(), entries[i].size())) return false;
    }
    return true;
}

}  // namespace

WriteStatus WriteArchive(const char* path, const ByteSpan* entries, size_t count) {
    uint64_t index_end = kHeaderSize + uint64_t{count} * kIndexEntrySize;
    uint64_t data_size = count == 0 ? kIndexEntrySize : 0;
    for (size_t i = 0; i < count; ++i) data_size += entries[i].size();
    if (count > UINT32_MAX || index_end + data_size > UINT32_MAX) return WriteStatus::kTooLarge;
    ArchiveHeader header{};
    header.index_offset = static_cast<uint32_t>(kHeaderSize);
    header.entry_count = static_cast<uint32_t>(count);
    header.data_size = static_cast<uint32_t>(data_size);
    header.archive_size = static_cast<uint32_t>(index_end + data_size);

    char temporary[kMaxFilePath];
    FileHandle file;
    if (!CreateTemporaryBeside(path, temporary, file)) return WriteStatus::kCannotCreate;
    bool written = WriteLayout(file.handle, entries, count, header) && SetEndOfFile(file.handle);
    file.Close();
    if (written && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) return WriteStatus::kOk;
    DeleteFileA(temporary);
    return WriteStatus::kCannotWrite;
}

}  // namespace kova
