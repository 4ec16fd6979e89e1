// kova info: the plug-in's four information strings, as a host is given them.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "archive/plugin_info.h"
#include "cli/commands.h"
#include "cli/messages.h"

namespace kova::cli {

int RunInfo(const InfoOptions& options) {
    static const char* const kLabels[kPluginInfoCount] = {"interface", "version", "filter", "description"};
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    for (int infono = 0; infono < kPluginInfoCount; ++infono) {
        std::string value = PluginInfoString(infono);
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
