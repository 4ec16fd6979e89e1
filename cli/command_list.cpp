// kova list: every entry of one or more archives, as text or as JSON.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/archive_arguments.h"
#include "cli/archive_host.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/messages.h"
#include "cli/sha256.h"
#include "cli/terminal.h"

namespace kova::cli {
namespace {

using Json = nlohmann::ordered_json;

// 1 or 2 for the coded methods, "stored" for content kept as it is.
Json MethodOf(const ListedEntry& entry) {
    if (!entry.coded) return "stored";
    return entry.method_byte & 0x7F;
}

// The entry's content hashed, or null when it cannot be had (reported).
Json HashOf(const PluginApi& api, const ListedArchive& archive, const IntegrityReport& report,
            const ListedEntry& entry, bool& failed) {
    // Extracting it would only hash gigabytes of zeros nobody stored.
    if (HasImpossibleSize(report, entry)) return nullptr;
    EntryContent content;
    std::string error;
    if (!ExtractEntry(api, archive, entry, content, error)) {
        ReportError(error);
        failed = true;
        return nullptr;
    }
    return Sha256Hex(content.data, content.size);
}

Json JsonOf(const PluginApi& api, const ListedArchive& archive, const IntegrityReport& report, bool hash,
            bool& failed) {
    Json entries = Json::array();
    for (const ListedEntry& entry : archive.entries) {
        Json record = {{"index", entry.index},
                       {"name", Printable(entry.name)},
                       {"kind", entry.kind},
                       {"method", MethodOf(entry)},
                       {"offset", entry.data_offset},
                       {"packed_size", entry.packed_size},
                       {"unpacked_size", entry.unpacked_size}};
        if (hash) record["sha256"] = HashOf(api, archive, report, entry, failed);
        entries.push_back(std::move(record));
    }
    return {{"archive", Printable(archive.display)}, {"entries", entries}};
}

int DigitsOf(uint64_t value) { return static_cast<int>(std::to_string(value).size()); }

void PrintTable(const PluginApi& api, const ListedArchive& archive, const IntegrityReport& report, bool hash,
                bool& failed) {
    int index_width = 5, name_width = 4, packed_width = 6, unpacked_width = 8;
    for (const ListedEntry& entry : archive.entries) {
        index_width = std::max(index_width, DigitsOf(entry.index));
        name_width = std::max(name_width, static_cast<int>(Printable(entry.name).size()));
        packed_width = std::max(packed_width, DigitsOf(entry.packed_size));
        unpacked_width = std::max(unpacked_width, DigitsOf(entry.unpacked_size));
    }
    // The heading is for people; a pipe gets the entries alone, one a line.
    if (IsTerminal(stdout)) {
        std::printf("%*s  %-*s  %*s  %*s%s\n", index_width, "index", name_width, "name", packed_width, "packed",
                    unpacked_width, "unpacked", hash ? "  sha256" : "");
    }
    for (const ListedEntry& entry : archive.entries) {
        std::string name = Printable(entry.name);
        std::printf("%*llu  %-*s  %*llu  %*llu", index_width, static_cast<unsigned long long>(entry.index),
                    name_width, name.c_str(), packed_width, static_cast<unsigned long long>(entry.packed_size),
                    unpacked_width, static_cast<unsigned long long>(entry.unpacked_size));
        if (hash) {
            Json digest = HashOf(api, archive, report, entry, failed);
            std::printf("  %s", digest.is_string() ? digest.get<std::string>().c_str() : "-");
        }
        std::printf("\n");
    }
}

}  // namespace

int RunList(const PluginApi& api, const ListOptions& options) {
    std::string error;
    if (!ReadsStandardInputOnce(options.archives, error)) {
        ReportError(error);
        return kExitFailure;
    }
    bool several = options.archives.size() > 1;
    bool failed = false;
    bool first_shown = true;
    Json documents = Json::array();
    for (const std::string& word : options.archives) {
        ListedArchive archive;
        IntegrityReport report;
        if (!ListArchive(api, SourceFor(word, options.source, false), archive, error) ||
            !InspectArchive(archive, IntegrityDepth::kIndexAndHeads, report, error)) {
            ReportError(error);
            failed = true;
            continue;
        }
        ReportFindings(archive, report, options.strict);
        if (options.strict && !report.findings.empty()) {
            ReportError(archive.display + ": damaged (" + CountOf(report.findings.size(), "problem", "problems") +
                        "); 'kova check' tells more");
            failed = true;
            continue;
        }
        if (options.json) {
            documents.push_back(JsonOf(api, archive, report, options.hash, failed));
            continue;
        }
        if (several) {
            std::printf("%s%s:\n", first_shown ? "" : "\n", Printable(archive.display).c_str());
            first_shown = false;
        }
        PrintTable(api, archive, report, options.hash, failed);
    }
    if (options.json && (several || !documents.empty())) {
        const Json& shown = several ? documents : documents.front();
        std::printf("%s\n", shown.dump(2).c_str());
    }
    return failed ? kExitFailure : kExitSuccess;
}

}  // namespace kova::cli
