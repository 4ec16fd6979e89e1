#include "archive/file_io.h"

namespace kova {

bool ReadHere(HANDLE file, uint8_t* buffer, size_t size, size_t* got) {
    *got = 0;
    // A file may deliver less than asked before its end; keep reading until it
    // gives nothing more.
    while (*got < size) {
        size_t want = size - *got;
        DWORD chunk = want > (1u << 30) ? (1u << 30) : static_cast<DWORD>(want);
        DWORD read = 0;
        if (!ReadFile(file, buffer + *got, chunk, &read, nullptr)) return false;
        if (read == 0) break;
        *got += read;
    }
    return true;
}

size_t ReadAt(HANDLE file, int64_t position, uint8_t* buffer, size_t size) {
    if (position < 0 || size == 0) return 0;
    LONG high = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    DWORD low = SetFilePointer(file, static_cast<LONG>(position & 0xFFFFFFFF), &high, FILE_BEGIN);
    if (low != static_cast<DWORD>(position & 0xFFFFFFFF) ||
        high != static_cast<LONG>(static_cast<uint64_t>(position) >> 32)) {
        return 0;
    }
    size_t got = 0;
    ReadHere(file, buffer, size, &got);
    return got;
}

int64_t FileSize(HANDLE file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return -1;
    return size.QuadPart;
}

}  // namespace kova
