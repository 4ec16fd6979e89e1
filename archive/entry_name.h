// Entry names: archives hold none, so every entry is called
// <base>_<index>.<extension>, and a name is turned back into an index by its
// digits alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// Longest path or name looked at; longer ones are cut to this.
constexpr size_t kMaxPathLength = 255;
// Longest base name kept.
constexpr size_t kMaxBaseNameLength = 31;

// The index a name carries, or -1 when it carries none. Only the number after
// the last '_' of the final component (up to its first '.', or its end) is
// read; base name and extension are not compared with anything. The number is
// accumulated in 32 bits and wraps, so a name can designate -1 too.
int32_t ParseEntryIndex(const char* name);

// Writes "<base>_<index, at least three digits>.<extension>" into `out`
// (always NUL-terminated, cut to fit).
void FormatEntryName(char* out, size_t capacity, const char* base_name, uint32_t index,
                     const char* extension);

// True for the characters that end a path component in this build.
bool IsPathSeparator(char c);

}  // namespace kova
