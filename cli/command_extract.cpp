// kova extract: entries written to files under their listed names.
#include <cstdio>
#include <filesystem>

#include "cli/archive_host.h"
#include "cli/commands.h"
#include "cli/entry_selection.h"
#include "cli/file_writer.h"
#include "cli/messages.h"
#include "cli/progress_bar.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "format/entry_name.h"

namespace kova::cli {
namespace {

// Names come from the plug-in; one that could reach outside the output
// directory (a drive colon included, on any system) is refused rather than
// followed.
bool IsPlainFileName(const std::string& name) { return StaysInsideDirectory(name, ":"); }

bool ExtractOne(const PluginApi& api, const ListedArchive& archive, const ListedEntry& entry,
                const std::filesystem::path& directory, std::string& error) {
    if (!IsPlainFileName(entry.name)) {
        error = archive.path + ": entry " + std::to_string(entry.index) + " has a name that is not a plain file name: '" +
                entry.name + "'";
        return false;
    }
    EntryContent content;
    if (!ExtractEntry(api, archive, entry, content, error)) return false;
    return WriteFileReplacing(directory / PathOf(entry.name), content.data, content.size, error);
}

uint64_t TotalBytes(const std::vector<const ListedEntry*>& entries) {
    uint64_t total = 0;
    for (const ListedEntry* entry : entries) total += entry->unpacked_size;
    return total;
}

}  // namespace

int RunExtract(const PluginApi& api, const ExtractOptions& options) {
    ListedArchive archive;
    std::vector<const ListedEntry*> chosen;
    std::string error;
    if (!ListArchive(api, options.archive, 0, archive, error) ||
        !SelectEntries(archive, options.entries, chosen, error)) {
        ReportError(error);
        return kExitFailure;
    }
    std::filesystem::path directory = PathOf(options.directory.empty() ? std::string(".") : options.directory);
    if (!EnsureDirectory(directory, error)) {
        ReportError(error);
        return kExitFailure;
    }

    ProgressBar bar;
    bar.enabled = !options.quiet && IsTerminal(stderr);
    uint64_t total_bytes = TotalBytes(chosen);
    StartProgress(bar, chosen.size(), total_bytes, chosen.empty() ? std::string() : chosen.front()->name);
    // One entry that cannot be extracted does not keep the others in: each
    // failure is reported, and the exit code tells that some were.
    size_t failed = 0;
    uint64_t written_bytes = 0;
    for (size_t k = 0; k < chosen.size(); ++k) {
        if (ExtractOne(api, archive, *chosen[k], directory, error)) {
            written_bytes += chosen[k]->unpacked_size;
        } else {
            ++failed;
            FinishProgress(bar);
            ReportError(error);
        }
        AdvanceProgress(bar, chosen[k]->unpacked_size, k + 1 < chosen.size() ? chosen[k + 1]->name : std::string());
    }
    FinishProgress(bar);
    if (!options.quiet) {
        std::printf("extracted %s (%s) into %s\n", CountOf(chosen.size() - failed, "entry", "entries").c_str(),
                    HumanSize(written_bytes).c_str(), Utf8Of(directory).c_str());
    }
    if (failed != 0) {
        ReportError(archive.path + ": " + CountOf(failed, "entry", "entries") + " of " +
                    std::to_string(chosen.size()) + " could not be extracted");
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace kova::cli
