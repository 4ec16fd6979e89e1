// kova pack: files and directories of entries into a new archive.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/archive_source.h"
#include "cli/archive_output.h"
#include "cli/commands.h"
#include "cli/display_width.h"
#include "cli/json_stream.h"
#include "cli/messages.h"
#include "cli/entry_packing.h"
#include "cli/pack_inputs.h"
#include "cli/progress_bar.h"
#include "cli/text.h"
#include "cli/terminal.h"
#include "format/coding.h"
#include "format/encoder.h"

namespace kova::cli {
namespace {

// What the report says of an entry; its source is the input's path. Kept
// small: this is all pack holds per entry once the entry is written.
struct PackedEntry {
    uint32_t packed_size = 0;
    uint32_t unpacked_size = 0;
    char method = 's';  // 's' stored, '1' or '2'
};

// Content kept as it is never starts like a coded entry, so the first
// stored byte tells.
char MethodOf(const std::vector<uint8_t>& stored) {
    if (stored.empty() || !IsCodedMethod(stored[0])) return 's';
    return static_cast<char>('0' + (stored[0] & kMethodMask));
}

std::string MethodName(char method) { return method == 's' ? "stored" : std::string(1, method); }

std::string Ratio(uint64_t packed, uint64_t unpacked) {
    if (unpacked == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(unpacked));
    return text;
}

// The names come from a listing of what was written: they are what any
// viewer will show. Written as they are made, JSON included, so that the
// report holds no more than the entries' sizes.
void PrintReport(const std::string& output, const std::vector<std::string>& files,
                 const std::vector<PackedEntry>& packed, bool json) {
    ListedArchive listed;
    std::string error;
    ArchiveSource written;
    written.path = output;
    bool named = OpenListedArchive(written, IntegrityDepth::kIndexAndHeads, listed, error) &&
                 listed.Count() == packed.size();
    auto name_of = [&](size_t k) {
        if (!named) return std::string();
        return json ? listed.NameOf(static_cast<uint32_t>(k)) : listed.PrintableNameOf(static_cast<uint32_t>(k));
    };
    uint64_t packed_total = 0, unpacked_total = 0;
    for (const PackedEntry& entry : packed) {
        packed_total += entry.packed_size;
        unpacked_total += entry.unpacked_size;
    }
    if (json) {
        std::printf("{\n  \"archive\": %s,\n  \"entries\": ", Json(output).dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        JsonArrayWriter entries{1};
        entries.Begin();
        for (size_t k = 0; k < packed.size(); ++k) {
            entries.Add(Json{{"index", k},
                             {"name", name_of(k)},
                             {"source", files[k]},
                             {"method", MethodName(packed[k].method)},
                             {"packed_size", packed[k].packed_size},
                             {"unpacked_size", packed[k].unpacked_size}});
        }
        entries.End();
        std::printf(",\n  \"packed_size\": %llu,\n  \"unpacked_size\": %llu\n}\n",
                    static_cast<unsigned long long>(packed_total), static_cast<unsigned long long>(unpacked_total));
        return;
    }
    size_t name_width = 4;
    for (size_t k = 0; k < packed.size(); ++k) name_width = std::max(name_width, DisplayWidth(name_of(k)));
    if (IsTerminal(stdout)) {
        std::printf("%5s  %-*s  %-6s  %10s  %10s\n", "index", static_cast<int>(name_width), "name", "method", "packed",
                    "unpacked");
    }
    for (size_t k = 0; k < packed.size(); ++k) {
        std::printf("%5zu  %s  %-6s  %10lu  %10lu\n", k, PaddedTo(name_of(k), name_width).c_str(),
                    MethodName(packed[k].method).c_str(), static_cast<unsigned long>(packed[k].packed_size),
                    static_cast<unsigned long>(packed[k].unpacked_size));
    }
    std::printf("packed %s into %s: %llu of %llu bytes (%s)\n", CountOf(packed.size(), "entry", "entries").c_str(),
                Printable(output).c_str(), static_cast<unsigned long long>(packed_total),
                static_cast<unsigned long long>(unpacked_total), Ratio(packed_total, unpacked_total).c_str());
}

// The inputs' sizes as the system gives them, for the progress bar only.
uint64_t InputBytes(const std::vector<std::string>& files) {
    uint64_t total = 0;
    for (const std::string& file : files) {
        std::error_code failure;
        uintmax_t size = std::filesystem::file_size(PathOf(file), failure);
        if (!failure) total += size;
    }
    return total;
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
    // One input in hand at a time: its content and its stored bytes, written
    // out before the next is read.
    ArchiveFileWriter writer;
    std::vector<PackedEntry> packed(files.size());
    std::vector<uint8_t> content, stored;
    ProgressBar bar;
    bar.enabled = !options.quiet && IsTerminal(stderr);
    bar.hold_off = std::chrono::seconds(1);
    bar.timed = true;
    if (!writer.Begin(target, files.size(), error)) {
        ReportError(error);
        return kExitFailure;
    }
    StartProgress(bar, files.size(), bar.enabled ? InputBytes(files) : 0, files.empty() ? std::string() : files[0]);
    for (size_t k = 0; k < files.size(); ++k) {
        if (!ReadWholeFile(files[k], content, error) ||
            !PackContent(files[k], content, options.method, options.strength, stored, error) ||
            !writer.AddEntry(stored, error)) {
            FinishProgress(bar);
            ReportError(error);
            return kExitFailure;
        }
        packed[k] = {static_cast<uint32_t>(stored.size()), static_cast<uint32_t>(content.size()), MethodOf(stored)};
        AdvanceProgress(bar, content.size(), k + 1 < files.size() ? files[k + 1] : std::string());
    }
    FinishProgress(bar);
    if (!writer.Finish(error)) {
        ReportError(error);
        return kExitFailure;
    }
    if (!options.quiet) PrintReport(options.output, files, packed, options.json);
    return kExitSuccess;
}

}  // namespace kova::cli
