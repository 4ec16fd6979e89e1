// kova cat: entries' content, byte for byte, one after another on standard
// output.
#include <cerrno>
#include <cstdio>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/entry_selection.h"
#include "cli/messages.h"
#include "cli/terminal.h"

namespace kova::cli {
namespace {

// Content a terminal would take for control sequences or show as garbage:
// any control byte other than the usual white space.
bool LooksBinary(const uint8_t* data, size_t size) {
    for (size_t k = 0; k < size; ++k) {
        uint8_t byte = data[k];
        bool white = byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' || byte == '\v';
        if ((byte < 0x20 && !white) || byte == 0x7F) return true;
    }
    return false;
}

}  // namespace

int RunCat(const CatOptions& options) {
    ListedArchive archive;
    std::vector<uint32_t> chosen;
    std::string error;
    SelectionTally tally;
    if (!OpenListedArchive(SourceFor(options.archive, options.source), IntegrityDepth::kIndexAndHeads, archive, error) ||
        !SelectByPatterns(archive, options.entries, {}, chosen, error, &tally)) {
        ReportError(error);
        return kExitFailure;
    }
    DropExcluded(archive, options.exclusions, chosen);
    const IntegrityReport& report = archive.report;
    ReportFindings(archive, report, options.strict);
    if (options.strict && !report.findings.empty()) {
        ReportError(archive.display + ": damaged (" + CountOf(report.findings.size(), "problem", "problems") +
                    "); nothing written (--strict)");
        return kExitFailure;
    }
    // Every entry is checked before the first byte goes out, so that a
    // refusal never leaves half of what was asked on standard output.
    for (uint32_t index : chosen) {
        if (!options.force && HasImpossibleSize(report, index)) {
            ListedEntry entry = archive.EntryAt(index);
            ReportError(archive.display + ": entry " + std::to_string(entry.index) + " (" + Printable(entry.name) +
                        "): declares " + std::to_string(entry.unpacked_size) + " bytes, more than its " +
                        std::to_string(entry.packed_size) + " stored bytes could give (--force writes it)");
            return kExitFailure;
        }
    }
    bool to_terminal = IsTerminal(stdout);
    UseBinaryStandardOutput();
    for (uint32_t index : chosen) {
        EntryContent content;
        if (!ReadEntryContent(archive, index, content, error)) {
            ReportError(error);
            return kExitFailure;
        }
        if (to_terminal && !options.force && LooksBinary(content.data, content.size)) {
            ReportError(archive.display + ": entry " + std::to_string(index) + " (" + Printable(archive.NameOf(index)) +
                        ") is binary; not writing it to a terminal (redirect it to a file, or --force)");
            return kExitFailure;
        }
        bool written = content.size == 0 || std::fwrite(content.data, 1, content.size, stdout) == content.size;
        if (std::fflush(stdout) != 0 || !written) {
            ReportError("cannot write to standard output: " + DescribeErrno(errno));
            return kExitFailure;
        }
    }
    // A pattern that matched nothing is an error once the rest is out.
    if (!ReportUnmatched(options.entries, {}, tally, [](const std::string& message) { ReportError(message); })) {
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace kova::cli
