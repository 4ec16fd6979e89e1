#include "plugin/host_path.h"

#include <cstring>
#include <string_view>

#include "format/entry_name.h"

namespace kova {

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\';
#else
    // Hosts on other systems pass '/' paths; the backslash still separates.
    return c == '\\' || c == '/';
#endif
}

size_t FinalComponentStart(const char* path, size_t length) {
    size_t start = 0;
    for (size_t at = 0; at < length; ++at) {
        if (IsPathSeparator(path[at])) start = at + 1;
    }
    return start;
}

int32_t EntryIndexOfName(const char* name) {
    size_t length = name != nullptr ? strnlen(name, kMaxPathLength) : 0;
    size_t start = FinalComponentStart(name, length);
    return ParseEntryIndex(std::string_view(name + start, length - start));
}

}  // namespace kova
