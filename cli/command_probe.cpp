// kova probe: which of these files are KOVA archives?
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/archive_source.h"
#include "cli/commands.h"
#include "cli/messages.h"

namespace kova::cli {

int RunProbe(const ProbeOptions& options) {
    bool all_recognized = true;
    nlohmann::ordered_json answers = nlohmann::ordered_json::array();
    for (const std::string& file : options.files) {
        std::string error;
        ProbeOutcome outcome = ProbeFile(file, 0, error);
        all_recognized = all_recognized && outcome == ProbeOutcome::kRecognized;
        if (outcome == ProbeOutcome::kUnreadable) {
            // Not an answer about the file but a failure to look at it.
            ReportError(error);
            if (options.json) answers.push_back({{"file", Printable(file)}, {"archive", nullptr}, {"error", Printable(error)}});
            continue;
        }
        if (options.json) {
            answers.push_back({{"file", Printable(file)}, {"archive", outcome == ProbeOutcome::kRecognized}});
        } else if (outcome == ProbeOutcome::kRecognized) {
            std::printf("%s: KOVA archive\n", Printable(file).c_str());
        } else {
            std::printf("%s\n", Printable(error).c_str());
        }
        std::fflush(stdout);
    }
    if (options.json) std::printf("%s\n", answers.dump(2).c_str());
    return all_recognized ? kExitSuccess : kExitFailure;
}

}  // namespace kova::cli
