#include "plugin/base_name.h"

#include <cstring>

#include "platform/win_api.h"
#ifndef _WIN32
#include <mutex>
#endif

namespace kova {
namespace {

BaseName g_base_name = {};

// A lock keeps a probe on one thread from tearing the name another thread is
// reading; which probe wins is still simply the last one.
#ifdef _WIN32
SRWLOCK g_base_name_lock = SRWLOCK_INIT;
struct BaseNameGuard {
    BaseNameGuard() { AcquireSRWLockExclusive(&g_base_name_lock); }
    ~BaseNameGuard() { ReleaseSRWLockExclusive(&g_base_name_lock); }
};
#else
std::mutex g_base_name_lock;
struct BaseNameGuard {
    std::lock_guard<std::mutex> guard{g_base_name_lock};
};
#endif

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

}  // namespace

BaseName BaseNameOf(const char* path) {
    // The path is cut to 255 bytes between characters too: a cut inside one
    // would leave a partial character at the end of a short base name.
    char copy[kMaxPathLength + 1] = {};
    size_t length = path != nullptr ? CutAtCharacter(path, std::strlen(path), kMaxPathLength) : 0;
    if (length > 0) std::memcpy(copy, path, length);

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

    BaseName result = {};
    size_t kept = CutAtCharacter(copy + start, end - start, kMaxBaseNameLength);
    std::memcpy(result.text, copy + start, kept);
    return result;
}

void RememberBaseName(const char* path) {
    BaseName name = BaseNameOf(path);
    BaseNameGuard guard;
    g_base_name = name;
}

BaseName CurrentBaseName() {
    BaseNameGuard guard;
    return g_base_name;
}

}  // namespace kova
