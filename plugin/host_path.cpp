#include "plugin/host_path.h"

#include <cstring>
#include <string_view>
#ifdef _WIN32
#include <cwchar>
#endif

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

int32_t EntryIndexOfName(const char* name) { return EntryIndexOf(name); }

#ifdef _WIN32
namespace {

// Appends `count` units; false when they do not fit with a terminator.
bool Append(WCHAR (&out)[kMaxResolvedPath], size_t& length, const WCHAR* units, size_t count) {
    if (length + count >= kMaxResolvedPath) return false;
    std::memcpy(out + length, units, count * sizeof(WCHAR));
    length += count;
    out[length] = 0;
    return true;
}

// The one name in the directory `out` (the first `length` units; empty for
// the current directory) whose ANSI spelling is `component`, appended.
bool AppendMatch(WCHAR (&out)[kMaxResolvedPath], size_t& length, std::string_view component) {
    size_t directory_length = length;
    static const WCHAR kAll[] = L"*";
    if (!Append(out, length, kAll, 1)) return false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(out, &found);
    length = directory_length;
    out[length] = 0;
    if (search == INVALID_HANDLE_VALUE) return false;
    WCHAR match[MAX_PATH] = {};
    int matches = 0;
    do {
        char spelled[MAX_PATH * 2];
        int units = static_cast<int>(wcsnlen(found.cFileName, MAX_PATH));
        int got = WideCharToMultiByte(CP_ACP, 0, found.cFileName, units, spelled, sizeof spelled, nullptr, nullptr);
        if (got > 0 && std::string_view(spelled, static_cast<size_t>(got)) == component && ++matches == 1) {
            std::memcpy(match, found.cFileName, sizeof match);
        }
    } while (matches < 2 && FindNextFileW(search, &found));
    FindClose(search);
    return matches == 1 && Append(out, length, match, wcsnlen(match, MAX_PATH));
}

}  // namespace

bool ResolveLossyAnsiPath(const char* path, WCHAR (&resolved)[kMaxResolvedPath]) {
    if (path == nullptr) return false;
    size_t path_length = std::strlen(path);
    // Searched by hand: the 32-bit DLL imports nothing more from msvcrt.dll.
    bool any_lost = false;
    for (size_t at = 0; at < path_length; ++at) any_lost = any_lost || path[at] == '?';
    if (!any_lost) return false;
    size_t length = 0;
    resolved[0] = 0;
    size_t start = 0;
    while (start <= path_length) {
        // The component ends at the next separator; a lead byte and its
        // trail byte are one character, whatever the trail byte is.
        size_t end = start;
        while (end < path_length && path[end] != '\\' && path[end] != '/') {
            end += IsDBCSLeadByte(static_cast<BYTE>(path[end])) && end + 1 < path_length ? 2 : 1;
        }
        std::string_view component(path + start, end - start);
        bool lost = false;
        for (char c : component) lost = lost || c == '?';
        if (lost) {
            if (!AppendMatch(resolved, length, component)) return false;
        } else if (!component.empty()) {
            WCHAR wide[MAX_PATH];
            int got = MultiByteToWideChar(CP_ACP, 0, component.data(), static_cast<int>(component.size()), wide, MAX_PATH);
            if (got <= 0 || !Append(resolved, length, wide, static_cast<size_t>(got))) return false;
        }
        if (end < path_length) {
            static const WCHAR kSeparator[] = L"\\";
            if (!Append(resolved, length, kSeparator, 1)) return false;
        }
        start = end + 1;
    }
    return true;
}
#else
bool ResolveLossyAnsiPath(const char*, WCHAR (&)[kMaxResolvedPath]) { return false; }
#endif
int32_t EntryIndexOfName(const WCHAR* name) { return EntryIndexOf(name); }

}  // namespace kova
