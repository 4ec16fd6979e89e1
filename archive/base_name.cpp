#include "archive/base_name.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/path_rules.h"

namespace kova {
namespace {

// How many of `length` bytes to keep so that at most `limit` remain and the
// cut falls between characters: a name cut inside a character matches no
// file and no later lookup.
size_t CutAtCharacter(const char* text, size_t length, size_t limit) {
    if (length <= limit) return length;
#ifdef _WIN32
    // The ANSI code page: a lead byte and the byte after it are one character.
    size_t at = 0;
    while (at < length) {
        size_t width = IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1;
        if (at + width > limit) break;
        at += width;
    }
    return at;
#else
    // UTF-8: back up over continuation bytes to the character's first byte.
    size_t at = limit;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    return at;
#endif
}

// UTF-16: the two halves of a surrogate pair stay together.
size_t CutAtCharacter(const WCHAR* text, size_t length, size_t limit) {
    if (length <= limit) return length;
    bool splits_pair = limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] < 0xDC00 &&
                       text[limit] >= 0xDC00 && text[limit] < 0xE000;
    return splits_pair ? limit - 1 : limit;
}

// The rules of the base name, in either family's characters; `name` gets
// at most kMaxBaseNameLength of them and a terminator.
template <typename Char>
void FindBaseName(const Char* path, Char (&name)[kMaxBaseNameLength + 1]) {
    // The path is cut to 255 characters between characters too: a cut inside
    // one would leave a partial character at the end of a short base name.
    Char copy[kMaxPathLength + 1] = {};
    size_t length = path != nullptr ? CutAtCharacter(path, TextLength(path, SIZE_MAX), kMaxPathLength) : 0;
    std::copy(path, path + length, copy);

    // Walk back from the end to position 1: the last separator found starts
    // the final component. Position 0 is never looked at, so a path that is
    // a lone separator, or starts with a dot, keeps that character.
    size_t start = 0;
    for (size_t at = length; at >= 1; --at) {
        if (IsPathSeparator(copy[at])) {
            start = at + 1;
            break;
        }
    }
    size_t end = length;
    for (size_t at = start > 1 ? start : 1; at < length; ++at) {
        if (copy[at] == '.') {
            end = at;
            break;
        }
    }

    std::fill(name, name + kMaxBaseNameLength + 1, Char{0});
    size_t kept = CutAtCharacter(copy + start, end - start, kMaxBaseNameLength);
    std::copy(copy + start, copy + start + kept, name);
}

// The ANSI form of a UTF-16 base name: characters the code page cannot
// spell become '?' (never a look-alike, which could be a separator), and the
// result is cut to 31 bytes between characters.
void AnsiFormOf(const WCHAR* wide, char (&text)[kMaxBaseNameLength + 1]) {
    std::memset(text, 0, sizeof text);
    int length = static_cast<int>(TextLength(wide, kMaxBaseNameLength));
    if (length == 0) return;
    char converted[kMaxBaseNameLength * 4 + 1] = {};
    int got = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, converted, sizeof converted - 1, "?",
                                  nullptr);
    // A UTF-8 ANSI code page takes neither the flag nor a default character,
    // and has every character anyway.
    if (got <= 0) got = WideCharToMultiByte(CP_ACP, 0, wide, length, converted, sizeof converted - 1, nullptr, nullptr);
    if (got <= 0) return;
    std::memcpy(text, converted, CutAtCharacter(converted, static_cast<size_t>(got), kMaxBaseNameLength));
}

// The UTF-16 form of an ANSI base name: never longer in units than in bytes.
void WideFormOf(const char* text, WCHAR (&wide)[kMaxBaseNameLength + 1]) {
    std::fill(wide, wide + kMaxBaseNameLength + 1, WCHAR{0});
    int length = static_cast<int>(std::strlen(text));
    if (length == 0) return;
    int got = MultiByteToWideChar(CP_ACP, 0, text, length, wide, kMaxBaseNameLength);
    if (got <= 0) wide[0] = 0;
}

}  // namespace

BaseName BaseNameOf(const char* path) {
    BaseName result;
    FindBaseName(path, result.text);
    WideFormOf(result.text, result.wide);
    return result;
}

BaseName BaseNameOf(const WCHAR* path) {
    BaseName result;
    FindBaseName(path, result.wide);
    AnsiFormOf(result.wide, result.text);
    return result;
}

}  // namespace kova
