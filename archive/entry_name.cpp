#include "archive/entry_name.h"

#include <cstdio>
#include <cstring>

namespace kova {

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\';
#else
    // Hosts on other systems pass '/' paths; the backslash still separates.
    return c == '\\' || c == '/';
#endif
}

int32_t ParseEntryIndex(const char* name) {
    char copy[kMaxPathLength + 1] = {};
    if (name != nullptr) std::strncpy(copy, name, kMaxPathLength);

    const char* component = copy;
    for (const char* at = copy; *at != '\0'; ++at) {
        if (IsPathSeparator(*at)) component = at + 1;
    }
    // The number field runs from after the last '_' before the first '.' up
    // to that '.', or to the end of a component that has none.
    const char* field = component;
    const char* end = component;
    while (*end != '\0' && *end != '.') {
        if (*end == '_') field = end + 1;
        ++end;
    }
    uint32_t value = 0;
    for (const char* at = field; at < end; ++at) {
        if (*at < '0' || *at > '9') return -1;
        value = value * 10u + static_cast<uint32_t>(*at - '0');
    }
    return static_cast<int32_t>(value);
}

void FormatEntryName(char* out, size_t capacity, const char* base_name, uint32_t index,
                     const char* extension) {
    if (capacity == 0) return;
    std::snprintf(out, capacity, "%s_%03u.%s", base_name != nullptr ? base_name : "", index,
                  extension);
}

}  // namespace kova
