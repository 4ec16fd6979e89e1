// kova info: the plug-in's four information strings.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/messages.h"

namespace kova::cli {

int RunInfo(const PluginApi& api, const std::string& plugin_path, const InfoOptions& options) {
    static const char* const kLabels[] = {"interface", "version", "filter", "description"};
    nlohmann::ordered_json document = {{"plugin", Printable(plugin_path)}};
    if (!options.json) std::printf("%-12s %s\n", "plug-in", Printable(plugin_path).c_str());
    for (int infono = 0; infono < 4; ++infono) {
        char text[256] = {};
        int length = api.get_plugin_info(infono, text, sizeof text);
        // Trust the count only as far as the buffer goes.
        if (length < 0 || length >= static_cast<int>(sizeof text)) length = 0;
        std::string value = Printable(std::string(text, static_cast<size_t>(length)));
        if (options.json) {
            document[kLabels[infono]] = value;
        } else {
            std::printf("%-12s %s\n", kLabels[infono], value.c_str());
        }
    }
    if (options.json) std::printf("%s\n", document.dump(2).c_str());
    return kExitSuccess;
}

}  // namespace kova::cli
