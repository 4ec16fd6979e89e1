// How the plug-in reads the paths and names hosts give it: which characters
// separate components, how long a path may be, and which component is final.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// Longest path or name looked at; longer ones are cut to this.
constexpr size_t kMaxPathLength = 255;

// True for the characters that end a path component in this build.
bool IsPathSeparator(char c);

// Where the final component of the first `length` bytes of `path` starts.
size_t FinalComponentStart(const char* path, size_t length);

// The index a name carries, or -1 when it carries none: the name is cut to
// 255 characters and the number field of its final component read
// (ParseEntryIndex).
int32_t EntryIndexOfName(const char* name);

}  // namespace kova
