// The code-page functions for systems whose ANSI code page is UTF-8.
#include "platform/win_api.h"

#include <cstring>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// One UTF-8 sequence at text[at], advancing `at`; U+FFFD for a malformed one
// (overlong, a surrogate, past U+10FFFF, or cut short), which consumes its
// lead byte only.
uint32_t NextCodePoint(const unsigned char* text, size_t length, size_t& at) {
    unsigned char lead = text[at++];
    if (lead < 0x80) return lead;
    int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
    if (extra < 0) return kReplacement;
    uint32_t code = lead & (0x3Fu >> extra);
    size_t next = at;
    for (int k = 0; k < extra; ++k, ++next) {
        if (next >= length || (text[next] & 0xC0) != 0x80) return kReplacement;
        code = code << 6 | (text[next] & 0x3Fu);
    }
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return kReplacement;
    at = next;
    return code;
}

// Stores `count` units at out[written] when there is room (or only counts
// with room 0); false when they do not fit.
template <typename Unit>
bool Put(Unit* out, int room, int& written, const Unit* units, int count) {
    if (room > 0) {
        if (written + count > room) return false;
        std::memcpy(out + written, units, static_cast<size_t>(count) * sizeof(Unit));
    }
    written += count;
    return true;
}

}  // namespace

int MultiByteToWideChar(UINT /*code_page*/, DWORD /*flags*/, LPCSTR text, int length, WCHAR* wide, int room) {
    if (text == nullptr || room < 0 || (room > 0 && wide == nullptr)) return 0;
    size_t size = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    int written = 0;
    for (size_t at = 0; at < size;) {
        uint32_t code = NextCodePoint(bytes, size, at);
        WCHAR units[2] = {static_cast<WCHAR>(code), 0};
        int count = 1;
        if (code > 0xFFFF) {
            units[0] = static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10));
            units[1] = static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF));
            count = 2;
        }
        if (!Put(wide, room, written, units, count)) return 0;
    }
    return written;
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int length, char* text, int room,
                        LPCSTR default_char, BOOL* used_default) {
    if (wide == nullptr || room < 0 || (room > 0 && text == nullptr)) return 0;
    size_t size = 0;
    if (length < 0) {
        while (wide[size] != 0) ++size;
        ++size;
    } else {
        size = static_cast<size_t>(length);
    }
    if (used_default != nullptr) *used_default = FALSE;
    int written = 0;
    for (size_t at = 0; at < size;) {
        uint32_t code = wide[at++];
        if (IsHighSurrogate(code) && at < size && IsLowSurrogate(wide[at])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[at++] - 0xDC00u);
        } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
            if (code_page == CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) != 0) return 0;
            if (code_page != CP_UTF8) {
                // UTF-8 cannot spell a lone surrogate: the ANSI form gets
                // the default character instead.
                char stand_in = default_char != nullptr ? *default_char : '?';
                if (used_default != nullptr) *used_default = TRUE;
                if (!Put(text, room, written, &stand_in, 1)) return 0;
                continue;
            }
            code = kReplacement;
        }
        char out[4];
        int count = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        static const unsigned char kLeads[] = {0, 0, 0xC0, 0xE0, 0xF0};
        uint32_t rest = code;
        for (int k = count - 1; k > 0; --k, rest >>= 6) out[k] = static_cast<char>(0x80 | (rest & 0x3F));
        out[0] = static_cast<char>(count == 1 ? rest : (kLeads[count] | rest));
        if (!Put(text, room, written, out, count)) return 0;
    }
    return written;
}
