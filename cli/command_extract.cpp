// kova extract: entries written to files under their listed names, from one
// archive or several at once.
#include <cstdio>
#include <filesystem>

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
// once something is to be written into it, and, with several archives
// (unless --flat), a directory of each one's own inside it.
struct Destination {
    std::string path;
    bool own_directories = false;
    OutputDirectory top;
    bool top_open = false;
    bool top_missing = false;  // a dry run found no directory there yet
};

// The directory one archive's entries go into. A dry run looks at it
// without making it; `directory` is then null where it does not exist yet,
// and nothing holds any name in it.
struct Target {
    const OutputDirectory* directory = nullptr;
    std::string display;
};

Outcome ExtractOne(const ListedArchive& archive, const ListedEntry& entry, const Target& target,
                   const ExtractOptions& options, EntryContent& content, std::string& error) {
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
    if (options.overwrite != OverwriteMode::kReplace && target.directory != nullptr) {
        NameHolder holder = WhatHolds(*target.directory, entry.name);
        if (holder == NameHolder::kOther) {
            error = "cannot create " + Printable(target.display + "/" + entry.name) +
                    ": it exists and is not a regular file";
            return Outcome::kFailed;
        }
        if (holder != NameHolder::kNothing) {
            if (options.overwrite == OverwriteMode::kSkipExisting) return Outcome::kSkipped;
            error = "cannot create " + Printable(target.display + "/" + entry.name) + ": it exists (--keep)";
            return Outcome::kFailed;
        }
    }
    if (options.dry_run) return Outcome::kWritten;
    if (!ReadEntryContent(archive, entry.index, content, error)) return Outcome::kFailed;
    bool replace = options.overwrite == OverwriteMode::kReplace;
    if (!WriteFileIn(*target.directory, entry.name, content.data, content.size, replace, error)) return Outcome::kFailed;
    return Outcome::kWritten;
}

uint64_t TotalBytes(const ListedArchive& archive, const std::vector<uint32_t>& chosen) {
    uint64_t total = 0;
    for (uint32_t index : chosen) total += archive.report.entries[index].unpacked_size;
    return total;
}

// The directory the archive's entries go into, opened (and, unless this is
// a dry run, made) now. False with a complete message in `error`.
bool OpenDestination(Destination& destination, const std::string& subdirectory, bool dry_run, OutputDirectory& own,
                     Target& target, std::string& error) {
    target.display = destination.path;
    if (destination.own_directories) target.display += "/" + subdirectory;
    if (!destination.top_open && !destination.top_missing) {
        std::error_code ignored;
        if (dry_run && !std::filesystem::exists(PathOf(destination.path), ignored)) {
            destination.top_missing = true;
        } else if (!OpenOutputDirectory(destination.path, !dry_run, destination.top, error)) {
            return false;
        } else {
            destination.top_open = true;
        }
    }
    if (destination.top_missing) return true;
    if (!destination.own_directories) {
        target.directory = &destination.top;
        return true;
    }
    if (dry_run && WhatHolds(destination.top, subdirectory) == NameHolder::kNothing) return true;
    if (!OpenSubdirectory(destination.top, subdirectory, own, error)) return false;
    target.directory = &own;
    return true;
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
    DropExcluded(archive, options.exclusions, chosen);
    const IntegrityReport& report = archive.report;
    ReportFindings(archive, report, options.strict);
    if (options.strict && !report.findings.empty()) {
        ReportError(archive.display + ": damaged (" + CountOf(report.findings.size(), "problem", "problems") +
                    "); nothing extracted (--strict)");
        return false;
    }
    OutputDirectory own;
    Target target;
    if (!OpenDestination(destination, subdirectory, options.dry_run, own, target, error)) {
        ReportError(error);
        return false;
    }

    ProgressBar bar;
    bar.enabled = !options.quiet && !options.verbose && !options.dry_run && IsTerminal(stderr);
    StartProgress(bar, chosen.size(), TotalBytes(archive, chosen),
                  chosen.empty() ? std::string() : archive.NameOf(chosen.front()));
    auto shown = [&](const ListedEntry& entry) { return Printable(target.display + "/" + entry.name); };
    // A dry run names every file it would write, as -v names those written.
    bool named = options.verbose || options.dry_run;
    EntryContent content;
    // One entry that cannot be extracted does not keep the others in: each
    // failure is reported, and the exit code tells that some were.
    for (size_t k = 0; k < chosen.size(); ++k) {
        ListedEntry entry = archive.EntryAt(chosen[k]);
        switch (ExtractOne(archive, entry, target, options, content, error)) {
        case Outcome::kWritten:
            ++tally.written;
            tally.bytes += entry.unpacked_size;
            if (named) std::printf("%s\n", shown(entry).c_str());
            break;
        case Outcome::kSkipped:
            ++tally.skipped;
            if (named) std::printf("%s: exists, %sskipped\n", shown(entry).c_str(), options.dry_run ? "would be " : "");
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
    bool several = archives.size() > 1;
    destination.own_directories = several && !options.flat;
    // Several archives go each into a directory of its own, so that entries
    // of the same name cannot overwrite each other; two archives that would
    // share one are refused before anything is written. With --flat they
    // share the one directory, and their entries' names differ unless two
    // archives give the same base name (compared ignoring case, as some
    // file systems compare names).
    std::vector<std::string> subdirectories, base_names;
    for (const std::string& word : archives) {
        std::string sub = SubdirectoryFor(word, options.source);
        std::string base = BaseNameFor(NamingPath(SourceFor(word, options.source)));
        for (size_t k = 0; several && options.flat && k < base_names.size(); ++k) {
            if (SameIgnoringAsciiCase(base_names[k], base)) {
                std::string names = Printable(base_names[k]) + "_NNN";
                if (base_names[k] != base) names += " and " + Printable(base) + "_NNN";
                ReportError(Printable(archives[k]) + " and " + Printable(word) + ": their entries' names (" + names +
                            ") would collide with --flat; extract them one at a time");
                return kExitFailure;
            }
        }
        base_names.push_back(base);
        for (size_t k = 0; destination.own_directories && k < subdirectories.size(); ++k) {
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
    std::string summary = std::string(options.dry_run ? "would extract " : "extracted ") + CountOf(tally.written, "entry", "entries") + " (" + HumanSize(tally.bytes) +
                          ") into " + Printable(destination.path);
    if (several) summary += " from " + CountOf(archives.size() - unread, "archive", "archives");
    if (tally.skipped != 0) {
        summary += "; " + std::to_string(tally.skipped) + (options.dry_run ? " would be" : "") + " skipped as " +
                   (tally.skipped == 1 ? "it exists" : "they exist");
    }
    // A single archive that could not be read has said why already.
    if (!several && unread != 0) return kExitFailure;
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
