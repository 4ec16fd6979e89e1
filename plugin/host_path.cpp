#include "plugin/host_path.h"

#include <string_view>

#include "format/entry_name.h"

namespace kova {
namespace {

// A character as the name rules read it: the number field, its '_' and '.'
// are ASCII in both families, so a UTF-16 unit beyond ASCII reads as a byte
// that is none of them.
char AsNameByte(char c) { return c; }
char AsNameByte(WCHAR c) { return c < 0x80 ? static_cast<char>(c) : '\x7f'; }

template <typename Char>
int32_t EntryIndexOf(const Char* name) {
    size_t length = name != nullptr ? TextLength(name, kMaxPathLength) : 0;
    size_t start = FinalComponentStart(name, length);
    char component[kMaxPathLength];
    for (size_t at = start; at < length; ++at) component[at - start] = AsNameByte(name[at]);
    return ParseEntryIndex(std::string_view(component, length - start));
}

}  // namespace

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\';
#else
    // Hosts on other systems pass '/' paths; the backslash still separates.
    return c == '\\' || c == '/';
#endif
}

bool IsPathSeparator(WCHAR c) { return c < 0x80 && IsPathSeparator(static_cast<char>(c)); }

int32_t EntryIndexOfName(const char* name) { return EntryIndexOf(name); }
int32_t EntryIndexOfName(const WCHAR* name) { return EntryIndexOf(name); }

}  // namespace kova
