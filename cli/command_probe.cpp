// kova probe: which of these files are KOVA archives?
#include <cstdio>

#include "cli/archive_host.h"
#include "cli/commands.h"
#include "cli/messages.h"

namespace kova::cli {

int RunProbe(const PluginApi& api, const ProbeOptions& options) {
    bool all_recognized = true;
    for (const std::string& file : options.files) {
        std::string error;
        switch (ProbeFile(api, file, 0, error)) {
        case ProbeOutcome::kRecognized:
            std::printf("%s: KOVA archive\n", file.c_str());
            break;
        case ProbeOutcome::kNotRecognized:
            std::printf("%s\n", error.c_str());
            all_recognized = false;
            break;
        case ProbeOutcome::kUnreadable:
            // Not an answer about the file but a failure to look at it.
            ReportError(error);
            all_recognized = false;
            break;
        }
        std::fflush(stdout);
    }
    return all_recognized ? kExitSuccess : kExitFailure;
}

}  // namespace kova::cli
