#include "archive/plugin_info.h"

namespace kova {

const char* PluginInfoString(int infono) {
    static const char* const kStrings[kPluginInfoCount] = {
        "00AM",
        "KOVA extract library ver.0.01 by the kova developers",
        "*.DAT",
        "COBALT WHARF Archive File(*.DAT)",
    };
    if (infono < 0 || infono >= kPluginInfoCount) return nullptr;
    return kStrings[infono];
}

}  // namespace kova
