// How paths and names are read wherever archives meet the file system: which
// characters separate components, how long a path may be, which component is
// final, and which names stay inside a directory. Names come in either
// family's characters: ANSI bytes or UTF-16 units.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/win_api.h"

namespace kova {

// Longest path or name looked at, in characters of its family; longer ones
// are cut to this.
constexpr size_t kMaxPathLength = 255;

// True for the characters that end a path component in this build.
bool IsPathSeparator(char c);
bool IsPathSeparator(WCHAR c);

// The length of a string, counting no further than `limit`.
template <typename Char>
size_t TextLength(const Char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != 0) ++length;
    return length;
}

// Where the final component of the first `length` characters of `path` starts.
template <typename Char>
size_t FinalComponentStart(const Char* path, size_t length) {
    size_t start = 0;
    for (size_t at = 0; at < length; ++at) {
        if (IsPathSeparator(path[at])) start = at + 1;
    }
    return start;
}

// True when `name`, joined to a directory, names a file directly inside it:
// not empty, not "." or "..", and free of '/', '\\' and every character of
// `more_separators`.
bool StaysInsideDirectory(std::string_view name, std::string_view more_separators = {});

}  // namespace kova
