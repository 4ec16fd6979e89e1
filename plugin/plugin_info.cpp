// GetPluginInfo: the information strings, in either family's characters.
#include "archive/plugin_info.h"

#include <algorithm>
#include <cstring>

#include "plugin/exports.h"

namespace {

// The strings are ASCII: each family gets them in its own characters, cut
// to buflen - 1 of them.
template <typename Char>
int GetPluginInfoOf(int infono, Char* buf, int buflen) {
    const char* text = kova::PluginInfoString(infono);
    // No room even for the terminator: nothing may be written.
    if (text == nullptr || buf == nullptr || buflen < 1) return 0;
    size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(buflen)) length = static_cast<size_t>(buflen) - 1;
    std::copy(text, text + length, buf);
    buf[length] = 0;
    return static_cast<int>(length);
}

}  // namespace

KOVA_EXPORT int KOVA_CALL GetPluginInfo(int infono, char* buf, int buflen) {
    return GetPluginInfoOf(infono, buf, buflen);
}

KOVA_EXPORT int KOVA_CALL GetPluginInfoW(int infono, WCHAR* buf, int buflen) {
    return GetPluginInfoOf(infono, buf, buflen);
}
