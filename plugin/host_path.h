// How the plug-in reads the paths and names hosts give it: which characters
// separate components, how long a path may be, and which component is final.
// Names come in either family's characters: ANSI bytes or UTF-16 units.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_api.h"

namespace kova {

// Longest path or name looked at, in characters of its family; longer ones
// are cut to this.
constexpr size_t kMaxPathLength = 255;

// True for the characters that end a path component in this build.
bool IsPathSeparator(char c);
bool IsPathSeparator(WCHAR c);

// The length of a host's string, counting no further than `limit`.
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

// The index a name carries, or -1 when it carries none: the name is cut to
// 255 characters and the number field of its final component read
// (ParseEntryIndex).
int32_t EntryIndexOfName(const char* name);
int32_t EntryIndexOfName(const WCHAR* name);

// Longest path a lossy ANSI path is resolved into, in UTF-16 units.
constexpr size_t kMaxResolvedPath = 1024;

// A host that holds a path in UTF-16 and calls the ANSI exports converts it
// first, and every character the ANSI code page lacks becomes '?', a
// character no Windows file name contains. Such a path is resolved against
// the directories it names, each '?' component matched by the ANSI spelling
// of the names there; it resolves only when every such component matches
// exactly one name. False when the path has no '?', or does not resolve
// (always, on systems whose ANSI code page is UTF-8 and spells everything).
bool ResolveLossyAnsiPath(const char* path, WCHAR (&resolved)[kMaxResolvedPath]);

}  // namespace kova
