/* KERNEL32's code-page functions. The ANSI code page here is single-byte,
 * byte n being U+00nn, so it has no lead bytes; UTF-8 (65001) is converted
 * as such. */
#include <string.h>

#include "system.h"

#define CP_UTF8 65001u
#define ERROR_INSUFFICIENT_BUFFER 122u

static BOOL WINAPI IsDBCSLeadByte(unsigned char byte) {
    (void)byte;
    return FALSE;
}

static BOOL WINAPI IsDBCSLeadByteEx(UINT code_page, unsigned char byte) {
    (void)code_page, (void)byte;
    return FALSE;
}

/* Decodes one UTF-8 sequence at text[*at], advancing *at; U+FFFD for a
 * malformed one. */
static uint32_t NextUtf8(const unsigned char *text, int length, int *at) {
    unsigned char lead = text[(*at)++];
    if (lead < 0x80) return lead;
    int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
    if (extra < 0) return 0xFFFD;
    uint32_t code = lead & (0x3Fu >> extra);
    for (int k = 0; k < extra; ++k) {
        if (*at >= length || (text[*at] & 0xC0) != 0x80) return 0xFFFD;
        code = code << 6 | (text[(*at)++] & 0x3Fu);
    }
    static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return 0xFFFD;
    return code;
}

static int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, const char *text, int length, WCHAR *wide,
                                      int room) {
    (void)flags;
    if (text == NULL || room < 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (length < 0) length = (int)strlen(text) + 1;
    const unsigned char *bytes = (const unsigned char *)text;
    int count = 0;
    for (int at = 0; at < length;) {
        uint32_t code = code_page == CP_UTF8 ? NextUtf8(bytes, length, &at) : bytes[at++];
        WCHAR units[2] = {(WCHAR)code, 0};
        int needed = 1;
        if (code > 0xFFFF) {
            units[0] = (WCHAR)(0xD800 + ((code - 0x10000) >> 10));
            units[1] = (WCHAR)(0xDC00 + ((code - 0x10000) & 0x3FF));
            needed = 2;
        }
        if (room > 0) {
            if (count + needed > room) {
                SetLastErrorValue(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            memcpy(wide + count, units, (size_t)needed * sizeof *units);
        }
        count += needed;
    }
    return count;
}

static int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR *wide, int length, char *text,
                                      int room, const char *default_char, BOOL *used_default) {
    (void)flags;
    if (wide == NULL || room < 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (length < 0) {
        length = 0;
        while (wide[length] != 0) ++length;
        ++length;
    }
    if (used_default != NULL) *used_default = FALSE;
    int count = 0;
    for (int at = 0; at < length;) {
        uint32_t code = wide[at++];
        if (code >= 0xD800 && code < 0xDC00 && at < length && wide[at] >= 0xDC00 && wide[at] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[at++] - 0xDC00u);
        }
        unsigned char out[4];
        int needed = 1;
        if (code_page != CP_UTF8) {
            out[0] = code <= 0xFF ? (unsigned char)code : default_char != NULL ? (unsigned char)*default_char : '?';
            if (code > 0xFF && used_default != NULL) *used_default = TRUE;
        } else if (code < 0x80) {
            out[0] = (unsigned char)code;
        } else {
            if (code >= 0xD800 && code < 0xE000) code = 0xFFFD; /* a lone surrogate */
            needed = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
            static const unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
            for (int k = needed - 1; k > 0; --k, code >>= 6) out[k] = (unsigned char)(0x80 | (code & 0x3F));
            out[0] = (unsigned char)(leads[needed] | code);
        }
        if (room > 0) {
            if (count + needed > room) {
                SetLastErrorValue(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            memcpy(text + count, out, (size_t)needed);
        }
        count += needed;
    }
    return count;
}

const struct ImportSymbol kernel32_text_symbols[] = {
    {"IsDBCSLeadByte", IsDBCSLeadByte},
    {"IsDBCSLeadByteEx", IsDBCSLeadByteEx},
    {"MultiByteToWideChar", MultiByteToWideChar},
    {"WideCharToMultiByte", WideCharToMultiByte},
    {NULL, NULL},
};
