// kova list: every entry of an archive, as text or as one JSON document.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/archive_host.h"
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/terminal.h"

namespace kova::cli {
namespace {

void PrintJson(const ListedArchive& archive) {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const ListedEntry& entry : archive.entries) {
        entries.push_back({{"index", entry.index},
                           {"name", entry.name},
                           {"packed_size", entry.packed_size},
                           {"unpacked_size", entry.unpacked_size}});
    }
    nlohmann::ordered_json document = {{"archive", archive.path}, {"entries", entries}};
    // Paths and base names are bytes in the system's code page, not always
    // UTF-8: replace what is not, rather than fail.
    std::string text = document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

int DigitsOf(uint64_t value) { return static_cast<int>(std::to_string(value).size()); }

void PrintTable(const ListedArchive& archive) {
    int index_width = 5, name_width = 4, packed_width = 6, unpacked_width = 8;
    for (const ListedEntry& entry : archive.entries) {
        index_width = std::max(index_width, DigitsOf(entry.index));
        name_width = std::max(name_width, static_cast<int>(entry.name.size()));
        packed_width = std::max(packed_width, DigitsOf(entry.packed_size));
        unpacked_width = std::max(unpacked_width, DigitsOf(entry.unpacked_size));
    }
    // The heading is for people; a pipe gets the entries alone, one a line.
    if (IsTerminal(stdout)) {
        std::printf("%*s  %-*s  %*s  %*s\n", index_width, "index", name_width, "name", packed_width, "packed",
                    unpacked_width, "unpacked");
    }
    for (const ListedEntry& entry : archive.entries) {
        std::printf("%*llu  %-*s  %*llu  %*llu\n", index_width, static_cast<unsigned long long>(entry.index),
                    name_width, entry.name.c_str(), packed_width, static_cast<unsigned long long>(entry.packed_size),
                    unpacked_width, static_cast<unsigned long long>(entry.unpacked_size));
    }
}

}  // namespace

int RunList(const PluginApi& api, const ListOptions& options) {
    ListedArchive archive;
    std::string error;
    if (!ListArchive(api, options.archive, options.offset, archive, error)) {
        ReportError(error);
        return kExitFailure;
    }
    if (options.json) {
        PrintJson(archive);
    } else {
        PrintTable(archive);
    }
    return kExitSuccess;
}

}  // namespace kova::cli
