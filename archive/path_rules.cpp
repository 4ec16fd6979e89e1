#include "archive/path_rules.h"

namespace kova {

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\';
#else
    // Hosts on other systems pass '/' paths; the backslash still separates.
    return c == '\\' || c == '/';
#endif
}

bool IsPathSeparator(WCHAR c) { return c < 0x80 && IsPathSeparator(static_cast<char>(c)); }

bool StaysInsideDirectory(std::string_view name, std::string_view more_separators) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\\') return false;
        for (char separator : more_separators) {
            if (c == separator) return false;
        }
    }
    return true;
}

}  // namespace kova
