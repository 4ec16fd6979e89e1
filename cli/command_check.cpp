// kova check: is each archive sound? Every entry is walked with the format's
// own rules (not the forgiving reads of listing and extraction, which take
// damage without a word) and every problem is reported with the entry it
// concerns.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/messages.h"

namespace kova::cli {
namespace {

using Json = nlohmann::ordered_json;

struct Checked {
    ListedArchive archive;
    bool opened = false;
    std::string error;  // why it could not be walked at all
};

void CheckOne(const std::string& word, const SourceOptions& options, Checked& checked) {
    checked.opened = OpenListedArchive(SourceFor(word, options), IntegrityDepth::kFullDecode, checked.archive,
                                       checked.error);
}

Json JsonOf(const Checked& checked) {
    Json problems = Json::array();
    if (!checked.opened) {
        problems.push_back({{"index", nullptr}, {"name", nullptr}, {"problem", "unreadable"},
                            {"detail", Printable(checked.error)}});
    }
    for (const IntegrityFinding& finding : checked.archive.report.findings) {
        DescribedFinding described = DescribeFinding(finding, checked.archive.report);
        Json index = finding.index < 0 ? Json(nullptr) : Json(finding.index);
        Json name = finding.index < 0 ? Json(nullptr) : Json(Printable(checked.archive.NameOf(static_cast<uint32_t>(finding.index))));
        problems.push_back({{"index", index}, {"name", name}, {"problem", described.problem},
                            {"detail", described.detail}});
    }
    std::string shown = checked.archive.display.empty() ? checked.archive.path : checked.archive.display;
    return {{"archive", Printable(shown)}, {"entries", checked.archive.report.entries.size()}, {"problems", problems}};
}

}  // namespace

int RunCheck(const CheckOptions& options) {
    std::string error;
    bool several = options.archives.size() > 1;
    uint64_t entries = 0, problems = 0;
    Json documents = Json::array();
    for (const std::string& word : options.archives) {
        Checked checked;
        checked.archive.path = word;
        CheckOne(word, options.source, checked);
        size_t found = checked.archive.report.findings.size() + (checked.opened ? 0 : 1);
        entries += checked.archive.report.entries.size();
        problems += found;
        if (options.json) {
            if (checked.archive.display.empty()) checked.archive.display = word == "-" ? "standard input" : word;
            documents.push_back(JsonOf(checked));
            continue;
        }
        if (!checked.opened) {
            // Unreadable is a problem of the archive, told on standard output
            // with the rest, so that the summary adds up.
            std::printf("%s\n", Printable(checked.error).c_str());
            continue;
        }
        std::string prefix = Printable(checked.archive.display) + ": ";
        for (const IntegrityFinding& finding : checked.archive.report.findings) {
            std::string subject = finding.index < 0 ? "" : FindingSubject(finding, checked.archive) + ": ";
            std::printf("%s%s%s\n", prefix.c_str(), subject.c_str(), DescribeFinding(finding, checked.archive.report).detail.c_str());
        }
        if (several) {
            std::printf("%s%s\n", prefix.c_str(),
                        found == 0 ? "OK" : CountOf(found, "problem", "problems").c_str());
        }
    }
    if (options.json) {
        std::printf("%s\n", (several ? documents : documents.front()).dump(2).c_str());
    } else {
        std::printf("%s, %s\n", CountOf(entries, "entry", "entries").c_str(),
                    CountOf(problems, "problem", "problems").c_str());
    }
    return problems == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace kova::cli
