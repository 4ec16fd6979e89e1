#include "plugin/output_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "archive/file_io.h"
#include "format/entry_name.h"
#include "plugin/host_path.h"

namespace kova {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
constexpr size_t kMaxOutputPath = kMaxFilePath;

// A name stays inside the directory when it has no separator of any build
// (nor, on Windows, a drive colon) and is not a dot name.
#ifdef _WIN32
constexpr const char* kMoreSeparators = ":";
#else
constexpr const char* kMoreSeparators = "";
#endif

// An entry name as the directory rule reads it: the separators are ASCII
// in both families, so a UTF-16 unit beyond ASCII is a plain character.
std::string_view NameBytes(const char* name, char (&)[kMaxOutputPath]) { return name; }
std::string_view NameBytes(const WCHAR* name, char (&bytes)[kMaxOutputPath]) {
    size_t length = TextLength(name, kMaxOutputPath - 1);
    for (size_t at = 0; at < length; ++at) bytes[at] = name[at] < 0x80 ? static_cast<char>(name[at]) : '\x7f';
    return std::string_view(bytes, length);
}

template <typename Char>
bool JoinPath(Char (&path)[kMaxOutputPath], const Char* directory, const Char* name) {
    size_t dir_length = directory != nullptr ? TextLength(directory, SIZE_MAX) : 0;
    size_t name_length = TextLength(name, SIZE_MAX);
    if (dir_length + 1 + name_length + 1 > kMaxOutputPath) return false;
    size_t at = 0;
    if (dir_length > 0) {
        std::copy(directory, directory + dir_length, path);
        at = dir_length;
        if (!IsPathSeparator(path[at - 1])) path[at++] = kSeparator;
    }
    std::copy(name, name + name_length + 1, path + at);
    return true;
}

template <typename Char>
bool WriteOutputFileOf(const Char* directory, const Char* entry_name, MovableBlock& content, size_t size) {
    char name_bytes[kMaxOutputPath];
    Char path[kMaxOutputPath];
    if (!StaysInsideDirectory(NameBytes(entry_name, name_bytes), kMoreSeparators) ||
        !JoinPath(path, directory, entry_name)) {
        return false;
    }

    // The entry goes to a file of its own first and takes the name only when
    // complete: a failed write leaves whatever had the name as it was, and a
    // link planted at the name is replaced, not followed.
    Char temporary[kMaxOutputPath];
    FileHandle file;
    if (!CreateTemporaryBeside(path, temporary, file)) return false;
    bool written = content.Lock() && WriteAll(file.handle, static_cast<const uint8_t*>(content.data), size) &&
                   SetEndOfFile(file.handle);
    content.Unlock();
    file.Close();
    if (written && MoveFileNamed(temporary, path, MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileNamed(temporary);
    return false;
}

}  // namespace

bool WriteOutputFile(const char* directory, const char* entry_name, MovableBlock& content, size_t size) {
    return WriteOutputFileOf(directory, entry_name, content, size);
}

bool WriteOutputFile(const WCHAR* directory, const WCHAR* entry_name, MovableBlock& content, size_t size) {
    return WriteOutputFileOf(directory, entry_name, content, size);
}

}  // namespace kova
