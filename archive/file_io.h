// Owning wrappers for a file handle and a heap buffer, and a positioned read.
// They release on every path, so no caller has to remember to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "format/bytes.h"
#include "platform/win_api.h"

namespace kova {

struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;

    FileHandle() = default;
    explicit FileHandle(HANDLE h) : handle(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    void Close() {
        if (IsOpen()) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

// The Windows file functions chosen by the width of the name: the ANSI
// exports' names go to the A functions, the Unicode exports' to the W ones.
inline HANDLE CreateFileNamed(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD attributes) {
    return CreateFileA(name, access, share, nullptr, disposition, attributes, nullptr);
}
inline HANDLE CreateFileNamed(const WCHAR* name, DWORD access, DWORD share, DWORD disposition, DWORD attributes) {
    return CreateFileW(name, access, share, nullptr, disposition, attributes, nullptr);
}
inline BOOL DeleteFileNamed(const char* name) { return DeleteFileA(name); }
inline BOOL DeleteFileNamed(const WCHAR* name) { return DeleteFileW(name); }
inline BOOL MoveFileNamed(const char* from, const char* to, DWORD flags) { return MoveFileExA(from, to, flags); }
inline BOOL MoveFileNamed(const WCHAR* from, const WCHAR* to, DWORD flags) { return MoveFileExW(from, to, flags); }

// Zero-filled working memory from the ordinary heap, its start aligned to
// kHeapBufferAlignment: the kernel copies a file's bytes into a buffer that
// starts 16 bytes into a cache line (where the heap puts its large blocks)
// several times slower than into an aligned one.
constexpr size_t kHeapBufferAlignment = 64;

struct HeapBuffer {
    uint8_t* data = nullptr;
    size_t size = 0;

    HeapBuffer() = default;
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    ~HeapBuffer() { Release(); }

    void Release();

    // False when the heap cannot supply `bytes`; a request for zero bytes
    // succeeds with an empty buffer.
    bool Allocate(size_t bytes);
    ByteSpan View() const { return {data, size}; }
    MutableByteSpan MutableView() { return {data, size}; }

private:
    void* allocation_ = nullptr;  // what the heap gave, `data` aligned inside it
};

// Reads up to `size` bytes at absolute `position`, as many as the file holds.
// Bytes past the end of the file, or after a failed seek or read, are left as
// the caller had them: callers pass zero-filled buffers, so those read as zero.
// Returns the number of bytes read.
size_t ReadAt(HANDLE file, int64_t position, uint8_t* buffer, size_t size);

// Longest path a temporary file name is built in.
constexpr size_t kMaxFilePath = 4096;

// Writes all `size` bytes at the handle's position; false on a failed or
// short write.
bool WriteAll(HANDLE file, const uint8_t* data, size_t size);

// Creates a file of a fresh name beside `path` (path + ".<process>-<n>.part")
// for writing, never one that exists: a link or file planted there is not
// opened. Writers put their output there and rename it over `path` only when
// it is complete, so a failure leaves whatever had the name as it was.
bool CreateTemporaryBeside(const char* path, char (&temporary)[kMaxFilePath], FileHandle& file);
bool CreateTemporaryBeside(const WCHAR* path, WCHAR (&temporary)[kMaxFilePath], FileHandle& file);

// The file's size in bytes, or -1 when it cannot be had.
int64_t FileSize(HANDLE file);

// How many of `length` bytes at `offset` the holder of `held` bytes has:
// the part of [offset, offset + length) below `held`.
inline uint64_t BytesHeld(uint64_t held, uint64_t offset, uint64_t length) {
    if (offset >= held) return 0;
    return held - offset < length ? held - offset : length;
}

// Reads from the handle's current position, as many bytes as it gives. False
// only when the read itself fails.
bool ReadHere(HANDLE file, uint8_t* buffer, size_t size, size_t* got);

}  // namespace kova
