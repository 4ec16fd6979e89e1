// kova list: every entry of one or more archives, as text or as JSON, each
// line written as it is made.
#include <algorithm>
#include <cstdio>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/json_stream.h"
#include "cli/messages.h"
#include "cli/sha256.h"
#include "cli/terminal.h"

namespace kova::cli {
namespace {

// 1 or 2 for the coded methods, "stored" for content kept as it is.
Json MethodOf(const ListedEntry& entry) {
    if (!entry.coded) return "stored";
    return entry.method_byte & 0x7F;
}

// The entry's content hashed, or null when it cannot be had (reported).
Json HashOf(const ListedArchive& archive, uint32_t index, bool& failed) {
    // Extracting it would only hash gigabytes of zeros nobody stored.
    if (HasImpossibleSize(archive.report, index)) return nullptr;
    EntryContent content;
    std::string error;
    if (!ReadEntryContent(archive, index, content, error)) {
        ReportError(error);
        failed = true;
        return nullptr;
    }
    return Sha256Hex(content.data, content.size);
}

void WriteJson(const ListedArchive& archive, bool hash, int depth, bool& failed) {
    std::printf("{\n%*s\"archive\": %s,\n%*s\"entries\": ", 2 * (depth + 1), "",
                Json(Printable(archive.display)).dump().c_str(), 2 * (depth + 1), "");
    JsonArrayWriter entries{depth + 1};
    entries.Begin();
    for (uint32_t index = 0; index < archive.Count(); ++index) {
        ListedEntry entry = archive.EntryAt(index);
        Json record = {{"index", entry.index},
                       {"name", Printable(entry.name)},
                       {"kind", entry.kind},
                       {"method", MethodOf(entry)},
                       {"offset", entry.data_offset},
                       {"packed_size", entry.packed_size},
                       {"unpacked_size", entry.unpacked_size}};
        if (hash) record["sha256"] = HashOf(archive, index, failed);
        entries.Add(record);
    }
    entries.End();
    std::printf("\n%*s}", 2 * depth, "");
}

int DigitsOf(uint64_t value) { return static_cast<int>(std::to_string(value).size()); }

void PrintTable(const ListedArchive& archive, bool hash, bool& failed) {
    // Widths from what the index and heads say, not from rows held: the
    // last entry's name is the longest, since only the digits differ.
    int index_width = 5, name_width = 4, packed_width = 6, unpacked_width = 8;
    if (archive.Count() != 0) {
        index_width = std::max(index_width, DigitsOf(archive.Count() - 1));
        name_width = std::max(name_width, static_cast<int>(Printable(archive.NameOf(archive.Count() - 1)).size()));
    }
    for (const EntryFacts& facts : archive.report.entries) {
        packed_width = std::max(packed_width, DigitsOf(facts.stored_size));
        unpacked_width = std::max(unpacked_width, DigitsOf(facts.unpacked_size));
    }
    // The heading is for people; a pipe gets the entries alone, one a line.
    if (IsTerminal(stdout)) {
        std::printf("%*s  %-*s  %*s  %*s%s\n", index_width, "index", name_width, "name", packed_width, "packed",
                    unpacked_width, "unpacked", hash ? "  sha256" : "");
    }
    for (uint32_t index = 0; index < archive.Count(); ++index) {
        ListedEntry entry = archive.EntryAt(index);
        std::string name = Printable(entry.name);
        std::printf("%*u  %-*s  %*llu  %*llu", index_width, entry.index, name_width, name.c_str(), packed_width,
                    static_cast<unsigned long long>(entry.packed_size), unpacked_width,
                    static_cast<unsigned long long>(entry.unpacked_size));
        if (hash) {
            Json digest = HashOf(archive, index, failed);
            std::printf("  %s", digest.is_string() ? digest.get<std::string>().c_str() : "-");
        }
        std::printf("\n");
    }
}

}  // namespace

int RunList(const ListOptions& options) {
    std::string error;
    if (!ReadsStandardInputOnce(options.archives, error)) {
        ReportError(error);
        return kExitFailure;
    }
    bool several = options.archives.size() > 1;
    bool failed = false;
    bool first_shown = true;
    JsonArrayWriter documents;
    if (options.json && several) documents.Begin();
    for (const std::string& word : options.archives) {
        ListedArchive archive;
        if (!OpenListedArchive(SourceFor(word, options.source), IntegrityDepth::kIndexAndHeads, archive, error)) {
            ReportError(error);
            failed = true;
            continue;
        }
        const IntegrityReport& report = archive.report;
        ReportFindings(archive, report, options.strict);
        if (options.strict && !report.findings.empty()) {
            ReportError(archive.display + ": damaged (" + CountOf(report.findings.size(), "problem", "problems") +
                        "); 'kova check' tells more");
            failed = true;
            continue;
        }
        if (options.json) {
            if (several) documents.Next();
            WriteJson(archive, options.hash, several ? 1 : 0, failed);
            if (!several) std::printf("\n");
            continue;
        }
        if (several) {
            std::printf("%s%s:\n", first_shown ? "" : "\n", Printable(archive.display).c_str());
            first_shown = false;
        }
        PrintTable(archive, options.hash, failed);
    }
    if (options.json && several) {
        documents.End();
        std::printf("\n");
    }
    return failed ? kExitFailure : kExitSuccess;
}

}  // namespace kova::cli
