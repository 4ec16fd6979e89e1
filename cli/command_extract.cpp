// kova extract: entries written to files under their listed names, from one
// archive or several at once.
#include <cstdio>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/entry_selection.h"
#include "cli/file_writer.h"
#include "cli/messages.h"
#include "cli/progress_bar.h"
#include "cli/terminal.h"
#include "cli/text.h"

namespace kova::cli {
namespace {

enum class Outcome { kWritten, kSkipped, kFailed };

struct Tally {
    size_t written = 0;
    size_t skipped = 0;
    size_t failed = 0;
    uint64_t bytes = 0;
};

// Where extracted files go: the directory named with -o, opened as given
// once something is to be written into it, and, with several archives, a
// directory of each one's own inside it.
struct Destination {
    std::string path;
    bool several = false;
    OutputDirectory top;
    bool top_open = false;
};

Outcome ExtractOne(const ListedArchive& archive, const ListedEntry& entry, const OutputDirectory& directory,
                   const ExtractOptions& options, std::string& error) {
    // Told only when something goes wrong: thousands of entries go right.
    auto subject = [&] { return archive.display + ": entry " + std::to_string(entry.index) + " (" + Printable(entry.name) + ")"; };
    // Names come from the archive's file name; one that could reach outside
    // the output directory is refused rather than followed.
    if (!IsPlainComponent(entry.name)) {
        error = subject() + " has a name that is not a plain file name";
        return Outcome::kFailed;
    }
    if (!options.force && HasImpossibleSize(archive.report, entry.index)) {
        // What the plug-in would write is that many zeros: the size is
        // damage, not content.
        error = subject() + ": declares " + std::to_string(entry.unpacked_size) + " bytes, more than its " +
                std::to_string(entry.packed_size) + " stored bytes could give; not extracted (--force writes it)";
        return Outcome::kFailed;
    }
    // Looked at only when existing names are kept: a replacement learns of
    // what holds the name as it takes it (a link is replaced, never
    // followed; a directory, FIFO or device is left alone).
    if (options.overwrite != OverwriteMode::kReplace) {
        NameHolder holder = WhatHolds(directory, entry.name);
        if (holder == NameHolder::kOther) {
            error = "cannot create " + Printable(directory.display + "/" + entry.name) +
                    ": it exists and is not a regular file";
            return Outcome::kFailed;
        }
        if (holder != NameHolder::kNothing) {
            if (options.overwrite == OverwriteMode::kSkipExisting) return Outcome::kSkipped;
            error = "cannot create " + Printable(directory.display + "/" + entry.name) + ": it exists (--keep)";
            return Outcome::kFailed;
        }
    }
    EntryContent content;
    if (!ReadEntryContent(archive, entry.index, content, error)) return Outcome::kFailed;
    bool replace = options.overwrite == OverwriteMode::kReplace;
    if (!WriteFileIn(directory, entry.name, content.data, content.size, replace, error)) return Outcome::kFailed;
    return Outcome::kWritten;
}

uint64_t TotalBytes(const ListedArchive& archive, const std::vector<uint32_t>& chosen) {
    uint64_t total = 0;
    for (uint32_t index : chosen) total += archive.report.entries[index].unpacked_size;
    return total;
}

// The directory the archive's entries go into, opened (and made) now.
const OutputDirectory* OpenDestination(Destination& destination, const std::string& subdirectory,
                                       OutputDirectory& own, std::string& error) {
    if (!destination.top_open) {
        if (!OpenOutputDirectory(destination.path, true, destination.top, error)) return nullptr;
        destination.top_open = true;
    }
    if (!destination.several) return &destination.top;
    return OpenSubdirectory(destination.top, subdirectory, own, error) ? &own : nullptr;
}

// One archive into its destination. False when it could not be read or no
// entry was chosen as asked; failures of single entries are counted.
bool ExtractArchive(const std::string& word, const std::string& subdirectory, const std::vector<std::string>& selectors,
                    Destination& destination, const ExtractOptions& options, Tally& tally, SelectionTally& selection) {
    ListedArchive archive;
    std::vector<uint32_t> chosen;
    std::string error;
    if (!OpenListedArchive(SourceFor(word, options.source), IntegrityDepth::kIndexAndHeads, archive, error) ||
        !SelectByPatterns(archive, selectors, options.kinds, chosen, error, &selection)) {
        ReportError(error);
        return false;
    }
    const IntegrityReport& report = archive.report;
    ReportFindings(archive, report, options.strict);
    if (options.strict && !report.findings.empty()) {
        ReportError(archive.display + ": damaged (" + CountOf(report.findings.size(), "problem", "problems") +
                    "); nothing extracted (--strict)");
        return false;
    }
    OutputDirectory own;
    const OutputDirectory* directory = OpenDestination(destination, subdirectory, own, error);
    if (directory == nullptr) {
        ReportError(error);
        return false;
    }

    ProgressBar bar;
    bar.enabled = !options.quiet && !options.verbose && IsTerminal(stderr);
    StartProgress(bar, chosen.size(), TotalBytes(archive, chosen),
                  chosen.empty() ? std::string() : archive.NameOf(chosen.front()));
    auto shown = [&](const ListedEntry& entry) { return Printable(directory->display + "/" + entry.name); };
    // One entry that cannot be extracted does not keep the others in: each
    // failure is reported, and the exit code tells that some were.
    for (size_t k = 0; k < chosen.size(); ++k) {
        ListedEntry entry = archive.EntryAt(chosen[k]);
        switch (ExtractOne(archive, entry, *directory, options, error)) {
        case Outcome::kWritten:
            ++tally.written;
            tally.bytes += entry.unpacked_size;
            if (options.verbose) std::printf("%s\n", shown(entry).c_str());
            break;
        case Outcome::kSkipped:
            ++tally.skipped;
            if (options.verbose) std::printf("%s: exists, skipped\n", shown(entry).c_str());
            break;
        case Outcome::kFailed:
            ++tally.failed;
            FinishProgress(bar);
            ReportError(error);
            break;
        }
        AdvanceProgress(bar, entry.unpacked_size, k + 1 < chosen.size() && bar.enabled ? archive.NameOf(chosen[k + 1]) : std::string());
    }
    FinishProgress(bar);
    return true;
}

}  // namespace

int RunExtract(const ExtractOptions& options) {
    std::vector<std::string> archives, selectors;
    SplitArchivesAndEntries(options.words, options.source.offset, archives, selectors);
    selectors.insert(selectors.end(), options.entries.begin(), options.entries.end());
    std::string error;
    Destination destination;
    destination.path = options.directory.empty() ? std::string(".") : options.directory;
    destination.several = archives.size() > 1;
    // Several archives go each into a directory of its own, so that entries
    // of the same name cannot overwrite each other; two archives that would
    // share one are refused before anything is written.
    std::vector<std::string> subdirectories;
    for (const std::string& word : archives) {
        std::string sub = SubdirectoryFor(word, options.source);
        for (size_t k = 0; destination.several && k < subdirectories.size(); ++k) {
            if (subdirectories[k] == sub) {
                ReportError(Printable(archives[k]) + " and " + Printable(word) + " would both extract into " +
                            Printable(destination.path + "/" + sub) + "; extract them one at a time");
                return kExitFailure;
            }
        }
        subdirectories.push_back(sub);
    }

    Tally tally;
    SelectionTally selection;
    size_t unread = 0;
    for (size_t k = 0; k < archives.size(); ++k) {
        if (!ExtractArchive(archives[k], subdirectories[k], selectors, destination, options, tally, selection)) ++unread;
    }
    // An archive that could not be read has failed the command already, and
    // may hold what a pattern was meant for.
    size_t unmatched = 0;
    if (unread == 0) {
        ReportUnmatched(selectors, options.kinds, selection, [&](const std::string& message) {
            ReportError(message);
            ++unmatched;
        });
    }
    std::string summary = "extracted " + CountOf(tally.written, "entry", "entries") + " (" + HumanSize(tally.bytes) +
                          ") into " + Printable(destination.path);
    if (destination.several) summary += " from " + CountOf(archives.size() - unread, "archive", "archives");
    if (tally.skipped != 0) summary += "; " + std::to_string(tally.skipped) + " skipped as they exist";
    // A single archive that could not be read has said why already.
    if (!destination.several && unread != 0) return kExitFailure;
    if (tally.failed != 0 || unread != 0 || unmatched != 0) {
        // Failure keeps standard output clear: the count goes with the errors.
        std::string failures = tally.failed != 0 ? CountOf(tally.failed, "entry", "entries") + " could not be extracted" : "";
        if (unread != 0) {
            failures += (failures.empty() ? "" : ", ") + CountOf(unread, "archive", "archives") + " could not be read";
        }
        if (unmatched != 0) {
            failures += (failures.empty() ? "" : ", ") + CountOf(unmatched, "pattern", "patterns") + " matched nothing";
        }
        ReportError(summary + "; " + failures);
        return kExitFailure;
    }
    if (!options.quiet) std::printf("%s\n", summary.c_str());
    return kExitSuccess;
}

}  // namespace kova::cli
