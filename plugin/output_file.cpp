#include "plugin/output_file.h"

#include <cstring>

#include "archive/entry_name.h"
#include "archive/file_io.h"

namespace kova {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
constexpr size_t kMaxOutputPath = 4096;

// A name stays inside the directory when it has no separator of any build
// (nor, on Windows, a drive colon) and is not a dot name.
bool StaysInside(const char* name) {
    if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    for (const char* at = name; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\') return false;
#ifdef _WIN32
        if (*at == ':') return false;
#endif
    }
    return true;
}

bool JoinPath(char (&path)[kMaxOutputPath], const char* directory, const char* name) {
    size_t dir_length = directory != nullptr ? std::strlen(directory) : 0;
    size_t name_length = std::strlen(name);
    if (dir_length + 1 + name_length + 1 > sizeof path) return false;
    size_t at = 0;
    if (dir_length > 0) {
        std::memcpy(path, directory, dir_length);
        at = dir_length;
        if (!IsPathSeparator(path[at - 1])) path[at++] = kSeparator;
    }
    std::memcpy(path + at, name, name_length + 1);
    return true;
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

}  // namespace

bool WriteOutputFile(const char* directory, const char* entry_name, MovableBlock& content,
                     size_t size) {
    char path[kMaxOutputPath];
    if (!StaysInside(entry_name) || !JoinPath(path, directory, entry_name)) return false;

    FileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return false;
    bool written = content.Lock() && WriteAll(file.handle, static_cast<const uint8_t*>(content.data), size) &&
                   SetEndOfFile(file.handle);
    content.Unlock();
    file.Close();
    // A cut-off file must not pass for the entry.
    if (!written) DeleteFileA(path);
    return written;
}

}  // namespace kova
