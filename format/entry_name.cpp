#include "format/entry_name.h"

#include <cstdio>

namespace kova {

int32_t ParseEntryIndex(std::string_view component) {
    // The number field runs from after the last '_' before the first '.' up
    // to that '.', or to the end of a component that has none.
    size_t field = 0;
    size_t end = 0;
    while (end < component.size() && component[end] != '\0' && component[end] != '.') {
        if (component[end] == '_') field = end + 1;
        ++end;
    }
    uint32_t value = 0;
    for (size_t at = field; at < end; ++at) {
        if (component[at] < '0' || component[at] > '9') return -1;
        value = value * 10u + static_cast<uint32_t>(component[at] - '0');
    }
    return static_cast<int32_t>(value);
}

void FormatEntryName(char* out, size_t capacity, const char* base_name, uint32_t index,
                     const char* extension) {
    if (capacity == 0) return;
    std::snprintf(out, capacity, "%s_%03u.%s", base_name != nullptr ? base_name : "", index,
                  extension);
}

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
