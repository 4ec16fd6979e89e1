// The base name: the file name, without directory and extension, that an
// archive's entries are named after, since archives keep no names. Kept in
// both families' forms (ANSI bytes and UTF-16 units); the plug-in remembers
// the one of its last probe, the command takes the archive's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/entry_kind.h"
#include "format/entry_name.h"
#include "platform/win_api.h"

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

// "<base>_<index>.<extension>" in `out`, in the characters of the base
// name's family: the base name as it is, the rest ASCII; cut to fit, always
// terminated.
template <typename Char, size_t kCapacity>
void WriteEntryName(Char (&out)[kCapacity], const Char* base_name, uint32_t index, EntryKind kind) {
    char suffix[32];
    FormatEntryName(suffix, sizeof suffix, "", index, ExtensionOf(kind));
    size_t at = 0;
    for (const Char* c = base_name; c != nullptr && *c != 0 && at + 1 < kCapacity; ++c) out[at++] = *c;
    for (const char* c = suffix; *c != '\0' && at + 1 < kCapacity; ++c) out[at++] = static_cast<Char>(*c);
    out[at] = 0;
}

}  // namespace kova
