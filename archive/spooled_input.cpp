#include "archive/spooled_input.h"

#include <algorithm>

#include "format/layout.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kova {
namespace {

constexpr size_t kCopyBlock = size_t{1} << 20;

// A read-write file that no name reaches, removed by the system once closed.
bool CreateUnnamedFile(FileHandle& file) {
#ifdef _WIN32
    WCHAR directory[MAX_PATH + 1];
    WCHAR name[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(directory, L"kva", 0, name) == 0) return false;
    file.handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (!file.IsOpen()) DeleteFileW(name);
    return file.IsOpen();
#else
    const char* directory = std::getenv("TMPDIR");
    if (directory == nullptr || directory[0] == '\0') directory = "/tmp";
    int fd = -1;
#ifdef O_TMPFILE
    fd = open(directory, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        // Where the file system has no nameless files: a fresh name, removed
        // at once, so that nothing is left behind on any path.
        char name[kMaxFilePath];
        int length = std::snprintf(name, sizeof name, "%s/kova-spool-XXXXXX", directory);
        if (length < 0 || static_cast<size_t>(length) >= sizeof name) return false;
        fd = mkstemp(name);
        if (fd < 0) return false;
        unlink(name);
    }
    file.handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
    return true;
#endif
}

// The furthest byte any index record of the spooled index reaches.
uint64_t FurthestEntryEnd(HANDLE file, uint64_t index_offset, uint32_t count, HeapBuffer& block) {
    uint64_t furthest = 0;
    const uint32_t per_block = static_cast<uint32_t>(block.size / kIndexEntrySize);
    for (uint32_t first = 0; first < count; first += per_block) {
        uint32_t records = std::min(per_block, count - first);
        std::fill(block.data, block.data + block.size, uint8_t{0});
        ReadAt(file, static_cast<int64_t>(index_offset + uint64_t{first} * kIndexEntrySize), block.data,
               size_t{records} * kIndexEntrySize);
        for (uint32_t k = 0; k < records; ++k) {
            IndexEntry entry = ReadIndexEntry(block.View(), k);
            furthest = std::max(furthest, uint64_t{entry.data_offset} + entry.stored_size);
        }
    }
    return furthest;
}

}  // namespace

SpoolStatus SpoolArchive(HANDLE input, FileHandle& spooled, uint64_t& bytes) {
    bytes = 0;
    spooled.Close();
    uint8_t head[kValidatedBytes] = {};
    size_t got = 0;
    if (!ReadHere(input, head, sizeof head, &got)) return SpoolStatus::kReadFailed;
    if (got < sizeof head || !ValidateHeader(ByteSpan(head, sizeof head))) return SpoolStatus::kNotArchive;

    HeapBuffer block;
    if (!block.Allocate(kCopyBlock)) return SpoolStatus::kNoTemporaryFile;
    FileHandle file;
    if (!CreateUnnamedFile(file)) return SpoolStatus::kNoTemporaryFile;
    if (!WriteAll(file.handle, head, sizeof head)) return SpoolStatus::kWriteFailed;
    bytes = sizeof head;

    // What the header reaches first; once the index is in, what its records
    // reach too. Nothing past that is ever read, so it is not copied.
    ArchiveHeader header = ReadHeader(ByteSpan(head, sizeof head));
    uint64_t index_end = uint64_t{header.index_offset} + uint64_t{header.entry_count} * kIndexEntrySize;
    uint64_t limit = std::max<uint64_t>(header.archive_size, index_end);
    bool index_read = false;
    for (;;) {
        if (bytes >= limit && !index_read) {
            index_read = true;
            limit = std::max(limit, FurthestEntryEnd(file.handle, header.index_offset, header.entry_count, block));
            // The reads above moved the file's position: back to its end.
            LONG high = static_cast<LONG>(bytes >> 32);
            DWORD low = SetFilePointer(file.handle, static_cast<LONG>(bytes & 0xFFFFFFFF), &high, FILE_BEGIN);
            if (low != static_cast<DWORD>(bytes & 0xFFFFFFFF) || high != static_cast<LONG>(bytes >> 32)) {
                return SpoolStatus::kWriteFailed;
            }
        }
        if (bytes >= limit) break;
        size_t want = static_cast<size_t>(std::min<uint64_t>(block.size, limit - bytes));
        if (!ReadHere(input, block.data, want, &got)) return SpoolStatus::kReadFailed;
        if (got != 0 && !WriteAll(file.handle, block.data, got)) return SpoolStatus::kWriteFailed;
        bytes += got;
        if (got < want) break;  // the input ended
    }
    spooled.handle = file.handle;
    file.handle = INVALID_HANDLE_VALUE;
    return SpoolStatus::kOk;
}

}  // namespace kova
