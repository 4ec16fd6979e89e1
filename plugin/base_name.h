// The module-wide base name: the file name, without directory and extension,
// of the last file a probe recognized. Every entry name is built from it.
// It is kept in both families' forms, so that whichever family probed last,
// each family names entries in its own characters.
#pragma once

#include <cstddef>

#include "plugin/host_path.h"

namespace kova {

// Longest base name kept: bytes in the ANSI form, UTF-16 units in the other.
constexpr size_t kMaxBaseNameLength = 31;

struct BaseName {
    char text[kMaxBaseNameLength + 1];   // the ANSI form
    WCHAR wide[kMaxBaseNameLength + 1];  // the UTF-16 form
};

// The form a family names entries from.
template <typename Char>
const Char* FormOf(const BaseName& name);
template <>
inline const char* FormOf<char>(const BaseName& name) { return name.text; }
template <>
inline const WCHAR* FormOf<WCHAR>(const BaseName& name) { return name.wide; }

// The base name of `path`: its final component up to the first '.', where
// the path's very first character is never taken for a separator or a dot.
// Paths are cut to 255 characters and base names to 31, never inside a
// character. An ANSI path gives the ANSI form by these rules and the UTF-16
// form by conversion; a UTF-16 path the other way round, characters the
// ANSI code page lacks becoming '?'.
BaseName BaseNameOf(const char* path);
BaseName BaseNameOf(const WCHAR* path);
inline BaseName BaseNameOf(std::nullptr_t) { return BaseNameOf(static_cast<const char*>(nullptr)); }

// Makes the base name of `path` the module's.
void RememberBaseName(const char* path);
void RememberBaseName(const WCHAR* path);

// A consistent copy of the module's base name, taken once per call so that
// every name one call builds uses the same one.
BaseName CurrentBaseName();

}  // namespace kova
