// kova pack: files and directories of entries into a new archive.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/archive_source.h"
#include "cli/archive_output.h"
#include "cli/commands.h"
#include "cli/display_width.h"
#include "cli/messages.h"
#include "cli/entry_packing.h"
#include "cli/pack_inputs.h"
#include "cli/terminal.h"
#include "format/coding.h"
#include "format/encoder.h"

namespace kova::cli {
namespace {

struct PackedEntry {
    std::string source;
    std::string method;  // "stored", "1" or "2"
    uint64_t packed_size = 0;
    uint64_t unpacked_size = 0;
};

// Content kept as it is never starts like a coded entry, so the first
// stored byte tells.
std::string MethodOf(const std::vector<uint8_t>& stored) {
    if (stored.empty() || !IsCodedMethod(stored[0])) return "stored";
    return std::to_string(stored[0] & kMethodMask);
}

std::string Ratio(uint64_t packed, uint64_t unpacked) {
    if (unpacked == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(unpacked));
    return text;
}

// The names come from a listing of what was written: they are what any
// viewer will show.
void PrintReport(const std::string& output, const std::vector<PackedEntry>& packed, bool json) {
    ListedArchive listed;
    std::string error;
    std::vector<std::string> names(packed.size());
    ArchiveSource written;
    written.path = output;
    if (OpenListedArchive(written, IntegrityDepth::kIndexAndHeads, listed, error) && listed.Count() == packed.size()) {
        for (size_t k = 0; k < packed.size(); ++k) {
            names[k] = json ? listed.NameOf(static_cast<uint32_t>(k)) : listed.PrintableNameOf(static_cast<uint32_t>(k));
        }
    }
    uint64_t packed_total = 0, unpacked_total = 0;
    for (const PackedEntry& entry : packed) {
        packed_total += entry.packed_size;
        unpacked_total += entry.unpacked_size;
    }
    if (json) {
        nlohmann::ordered_json entries = nlohmann::ordered_json::array();
        for (size_t k = 0; k < packed.size(); ++k) {
            entries.push_back({{"index", k},
                               {"name", names[k]},
                               {"source", packed[k].source},
                               {"method", packed[k].method},
                               {"packed_size", packed[k].packed_size},
                               {"unpacked_size", packed[k].unpacked_size}});
        }
        nlohmann::ordered_json document = {{"archive", output},
                                           {"entries", entries},
                                           {"packed_size", packed_total},
                                           {"unpacked_size", unpacked_total}};
        std::printf("%s\n", document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        return;
    }
    size_t name_width = 4;
    for (const std::string& name : names) name_width = std::max(name_width, DisplayWidth(name));
    if (IsTerminal(stdout)) {
        std::printf("%5s  %-*s  %-6s  %10s  %10s\n", "index", static_cast<int>(name_width), "name", "method", "packed",
                    "unpacked");
    }
    for (size_t k = 0; k < packed.size(); ++k) {
        std::printf("%5zu  %s  %-6s  %10llu  %10llu\n", k, PaddedTo(names[k], name_width).c_str(),
                    packed[k].method.c_str(), static_cast<unsigned long long>(packed[k].packed_size),
                    static_cast<unsigned long long>(packed[k].unpacked_size));
    }
    std::printf("packed %s into %s: %llu of %llu bytes (%s)\n", CountOf(packed.size(), "entry", "entries").c_str(),
                Printable(output).c_str(), static_cast<unsigned long long>(packed_total),
                static_cast<unsigned long long>(unpacked_total), Ratio(packed_total, unpacked_total).c_str());
}

}  // namespace

int RunPack(const PackOptions& options) {
    std::vector<std::string> files;
    std::string error;
    ArchiveTarget target;
    if (!ResolveArchiveTarget(options.output, options.force, target, error) ||
        !CollectPackInputs(options.inputs, options.output, files, error)) {
        ReportError(error);
        return kExitFailure;
    }
    std::vector<std::vector<uint8_t>> stored(files.size());
    std::vector<PackedEntry> packed(files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        std::vector<uint8_t> content;
        if (!ReadWholeFile(files[k], content, error) ||
            !PackContent(files[k], content, options.method, options.strength, stored[k], error)) {
            ReportError(error);
            return kExitFailure;
        }
        packed[k] = {files[k], MethodOf(stored[k]), stored[k].size(), content.size()};
    }
    if (!WriteArchiveFile(target, stored, error)) {
        ReportError(error);
        return kExitFailure;
    }
    if (!options.quiet) PrintReport(options.output, packed, options.json);
    return kExitSuccess;
}

}  // namespace kova::cli
