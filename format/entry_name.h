// Entry names: archives hold none, so every entry is called
// <base>_<index>.<extension>, and a name is turned back into an index by its
// digits alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kova {

// The index a name's final component carries, or -1 when it carries none.
// Only the number after the last '_' (up to the first '.', or the end) is
// read; base name and extension are not compared with anything. The number
// is accumulated in 32 bits and wraps, so a name can designate -1 too.
int32_t ParseEntryIndex(std::string_view component);

// The index a file name carries by the same rule, for files that are meant
// to become entries: false unless the field is 1 to 9 digits.
bool FindEntryIndex(std::string_view component, uint32_t& index);

// Writes "<base>_<index, at least three digits>.<extension>" into `out`
// (always NUL-terminated, cut to fit); returns its length.
size_t FormatEntryName(char* out, size_t capacity, const char* base_name, uint32_t index,
                       const char* extension);

// Writes what follows the base, "_<digits, at least three>.<extension>", at
// `out` from the index's `count` digits, unterminated; returns its length.
// `out` needs room for count + 5 bytes and the extension.
size_t FormatEntrySuffix(char* out, const char* digits, size_t count, const char* extension);

}  // namespace kova
