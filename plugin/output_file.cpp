#include "plugin/output_file.h"

#include <cstring>

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

}  // namespace

bool WriteOutputFile(const char* directory, const char* entry_name, MovableBlock& content,
                     size_t size) {
    char path[kMaxOutputPath];
    if (!StaysInsideDirectory(entry_name, kMoreSeparators) || !JoinPath(path, directory, entry_name)) return false;

    // The entry goes to a file of its own first and takes the name only when
    // complete: a failed write leaves whatever had the name as it was, and a
    // link planted at the name is replaced, not followed.
    char temporary[kMaxOutputPath];
    FileHandle file;
    if (!CreateTemporaryBeside(path, temporary, file)) return false;
    bool written = content.Lock() && WriteAll(file.handle, static_cast<const uint8_t*>(content.data), size) &&
                   SetEndOfFile(file.handle);
    content.Unlock();
    file.Close();
    if (written && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(temporary);
    return false;
}

}  // namespace kova
