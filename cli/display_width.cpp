#include "cli/display_width.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <clocale>
#include <cwchar>
#include <locale.h>
#endif

namespace kova::cli {
namespace {

// The next character of `text` at `at`: its code point and its length in
// bytes; an invalid sequence gives its first byte alone and code -1.
int32_t NextCharacter(const std::string& text, size_t at, size_t& length) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(at);
    length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + length > text.size()) {
        length = 1;
        return -1;
    }
    int32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) {
            length = 1;
            return -1;
        }
        code = (code << 6) | (byte(at + k) & 0x3F);
    }
    return code;
}

#ifdef _WIN32
// Windows has no wcwidth: its character-type tables say which characters
// are non-spacing marks and which are full-width or ideographs.
int CellsOf(int32_t code) {
    if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return 1;
    if (code >= 0x10000) {
        bool wide = (code >= 0x1F300 && code <= 0x1F64F) || (code >= 0x1F900 && code <= 0x1F9FF) ||
                    (code >= 0x20000 && code <= 0x3FFFD);
        return wide ? 2 : 1;
    }
    if (code >= 0xAC00 && code <= 0xD7A3) return 2;  // Hangul syllables, not marked full-width
    WCHAR unit = static_cast<WCHAR>(code);
    WORD type = 0;
    if (!GetStringTypeW(CT_CTYPE3, &unit, 1, &type)) return 1;
    if (type & C3_NONSPACING) return 0;
    if (type & C3_HALFWIDTH) return 1;
    return (type & (C3_FULLWIDTH | C3_IDEOGRAPH | C3_HIRAGANA | C3_KATAKANA)) != 0 ? 2 : 1;
}
#else
// wcwidth answers by the LC_CTYPE in force, and a program starts in the "C"
// locale, which knows no character past ASCII. A UTF-8 locale of its own,
// used only for these calls, keeps the rest of the program as it is.
locale_t Utf8Locale() {
    static locale_t locale = [] {
        locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (made == static_cast<locale_t>(0)) made = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
        return made;
    }();
    return locale;
}

int CellsOf(int32_t code) {
    if (code < 0x80) return 1;
    locale_t locale = Utf8Locale();
    if (locale == static_cast<locale_t>(0)) return 1;
    locale_t previous = uselocale(locale);
    int cells = wcwidth(static_cast<wchar_t>(code));
    uselocale(previous);
    return cells < 0 ? 1 : cells;
}
#endif

}  // namespace

size_t DisplayWidth(const std::string& text) {
    size_t cells = 0;
    for (size_t at = 0; at < text.size();) {
        size_t length;
        int32_t code = NextCharacter(text, at, length);
        cells += code < 0 ? 1 : static_cast<size_t>(CellsOf(code));
        at += length;
    }
    return cells;
}

std::string PaddedTo(const std::string& text, size_t cells) {
    size_t width = DisplayWidth(text);
    return width >= cells ? text : text + std::string(cells - width, ' ');
}

std::string FittedTo(const std::string& text, size_t cells) {
    size_t used = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t length;
        int32_t code = NextCharacter(text, at, length);
        size_t width = code < 0 ? 1 : static_cast<size_t>(CellsOf(code));
        if (used + width > cells) break;
        used += width;
        at += length;
    }
    return text.substr(0, at);
}

}  // namespace kova::cli
