#include "archive/file_io.h"

#include <algorithm>
#include <atomic>

#include "platform/accounting.h"

namespace kova {

void HeapBuffer::Release() {
    if (data != nullptr) accounting::HeapReleased(size);
    std::free(allocation_);
    allocation_ = nullptr;
    data = nullptr;
    size = 0;
}

bool HeapBuffer::Allocate(size_t bytes) {
    Release();
    if (!accounting::RequestMayProceed() || bytes > SIZE_MAX - kHeapBufferAlignment) return false;
    // calloc, not an aligned allocation and a fill: the heap hands out large
    // blocks as fresh zero pages without writing them.
    allocation_ = std::calloc(bytes + kHeapBufferAlignment, 1);
    if (allocation_ == nullptr) return false;
    uintptr_t start = reinterpret_cast<uintptr_t>(allocation_);
    data = static_cast<uint8_t*>(allocation_) + (kHeapBufferAlignment - start % kHeapBufferAlignment) % kHeapBufferAlignment;
    accounting::HeapAllocated(bytes);
    size = bytes;
    return true;
}

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

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

namespace {

// By hand: the formatted printing functions would bring kilobytes of code
// into the plug-in.
void AppendDecimal(char* out, size_t& length, uint32_t value) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) out[length++] = digits[--count];
}

template <typename Char>
bool CreateTemporaryBesideOf(const Char* path, Char (&temporary)[kMaxFilePath], FileHandle& file) {
    // Names already taken by other writers are skipped, a bounded number of times.
    constexpr int kAttempts = 64;
    static std::atomic<uint32_t> next{0};
    DWORD process = GetCurrentProcessId();
    size_t length = 0;
    while (path[length] != 0) ++length;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        char suffix[64];
        size_t suffix_length = 0;
        suffix[suffix_length++] = '.';
        AppendDecimal(suffix, suffix_length, process);
        suffix[suffix_length++] = '-';
        AppendDecimal(suffix, suffix_length, next.fetch_add(1));
        for (char c : {'.', 'p', 'a', 'r', 't', '\0'}) suffix[suffix_length++] = c;
        --suffix_length;
        if (length + suffix_length >= kMaxFilePath) return false;
        std::copy(path, path + length, temporary);
        // The suffix is ASCII, the same characters in either width.
        std::copy(suffix, suffix + suffix_length + 1, temporary + length);
        file.handle = CreateFileNamed(temporary, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (file.IsOpen()) return true;
    }
    return false;
}

}  // namespace

bool CreateTemporaryBeside(const char* path, char (&temporary)[kMaxFilePath], FileHandle& file) {
    return CreateTemporaryBesideOf(path, temporary, file);
}

bool CreateTemporaryBeside(const WCHAR* path, WCHAR (&temporary)[kMaxFilePath], FileHandle& file) {
    return CreateTemporaryBesideOf(path, temporary, file);
}

}  // namespace kova
