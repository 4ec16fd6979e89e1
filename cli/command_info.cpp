// kova info: the plug-in's four information strings.
#include <cstdio>

#include "cli/commands.h"
#include "cli/messages.h"

namespace kova::cli {

int RunInfo(const PluginApi& api, const std::string& plugin_path) {
    static const char* const kLabels[] = {"interface", "version", "filter", "description"};
    std::printf("%-12s %s\n", "plug-in", plugin_path.c_str());
    for (int infono = 0; infono < 4; ++infono) {
        char text[256] = {};
        int length = api.get_plugin_info(infono, text, sizeof text);
        // Trust the count only as far as the buffer goes.
        if (length < 0 || length >= static_cast<int>(sizeof text)) length = 0;
        std::printf("%-12s %.*s\n", kLabels[infono], length, text);
    }
    return kExitSuccess;
}

}  // namespace kova::cli
