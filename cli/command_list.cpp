// kova list: every entry of one or more archives, as text or as JSON, each
// line written as it is made.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/content_hashes.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/display_width.h"
#include "cli/json_stream.h"
#include "cli/manifest.h"
#include "cli/messages.h"
#include "cli/terminal.h"
#include "format/entry_name.h"

namespace kova::cli {
namespace {

// 1 or 2 for the coded methods, "stored" for content kept as it is.
std::string MethodOf(const ListedEntry& entry) {
    return entry.coded ? std::to_string(entry.method_byte & 0x7F) : std::string("\"stored\"");
}

// The entry's content hashed, or null when it cannot be had (reported).
Json HashOf(ContentHasher& hasher, uint32_t index, bool& failed) {
    std::string hex = hasher.Of(index, failed);
    return hex.empty() ? Json() : Json(hex);
}

// One entry's record, laid out as dump(2) lays it out `level` levels deep,
// written straight out: building a document node per field costs more than
// the listing itself.
void WriteRecord(const ListedEntry& entry, const std::string& printable_name, const Json& digest, bool hash,
                 int level) {
    std::string in(static_cast<size_t>(2 * (level + 1)), ' ');
    std::string text = "{\n";
    auto field = [&](const char* key, const std::string& value, bool last) {
        text += in + "\"" + key + "\": " + value + (last ? "\n" : ",\n");
    };
    field("index", std::to_string(entry.index), false);
    field("name", JsonQuoted(printable_name), false);
    field("kind", JsonQuoted(entry.kind), false);
    field("method", MethodOf(entry), false);
    field("offset", std::to_string(entry.data_offset), false);
    field("packed_size", std::to_string(entry.packed_size), false);
    field("unpacked_size", std::to_string(entry.unpacked_size), !hash);
    if (hash) field("sha256", digest.dump(), true);
    text.append(static_cast<size_t>(2 * level), ' ');
    text += "}";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteJson(const ListedArchive& archive, bool hash, int depth, bool& failed) {
    std::printf("{\n%*s\"archive\": %s,\n", 2 * (depth + 1), "", Json(Printable(archive.display)).dump().c_str());
    if (hash) WriteManifestFields(archive, depth + 1, failed);
    std::printf("%*s\"entries\": ", 2 * (depth + 1), "");
    ContentHasher hasher(archive);
    JsonArrayWriter entries{depth + 1};
    entries.Begin();
    for (uint32_t index = 0; index < archive.Count(); ++index) {
        ListedEntry entry = archive.EntryAt(index);
        Json digest = hash ? HashOf(hasher, index, failed) : Json();
        entries.Next();
        WriteRecord(entry, archive.PrintableNameOf(index), digest, hash, depth + 2);
    }
    entries.End();
    std::printf("\n%*s}", 2 * depth, "");
}

int DigitsOf(uint64_t value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// `value` in decimal, right-aligned in `width` columns, at `at`; returns
// where the next column starts.
char* PutRight(char* at, uint64_t value, int width) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int k = count; k < width; ++k) *at++ = ' ';
    while (count > 0) *at++ = digits[--count];
    return at;
}

// Standard output in large pieces: a listing of a million entries is a
// million short lines, and the stream's per-call work costs more than
// making them.
struct OutputBatch {
    std::vector<char> bytes = std::vector<char>(size_t{1} << 16);
    size_t used = 0;

    ~OutputBatch() { Flush(); }
    char* Room(size_t needed) {
        if (bytes.size() - used < needed) Flush();
        if (bytes.size() < needed) bytes.resize(needed);
        return bytes.data() + used;
    }
    void Used(const char* end) { used = static_cast<size_t>(end - bytes.data()); }
    void Flush() {
        if (used != 0) std::fwrite(bytes.data(), 1, used, stdout);
        used = 0;
    }
};

void PrintTable(const ListedArchive& archive, bool hash, bool& failed) {
    // Widths from what the index and heads say, not from rows held: the
    // last entry's name is the longest, since only the digits differ.
    int index_width = 5, name_width = 4, packed_width = 6, unpacked_width = 8;
    if (archive.Count() != 0) {
        index_width = std::max(index_width, DigitsOf(archive.Count() - 1));
        name_width = std::max(name_width, static_cast<int>(DisplayWidth(archive.PrintableNameOf(archive.Count() - 1))));
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
    // Each row laid out by hand: printf's parsing costs more than the
    // listing. Names are the printable base name and the suffix the
    // plug-in's naming gives.
    const std::string& base = archive.printable_base_name;
    const int base_cells = static_cast<int>(DisplayWidth(base));
    const size_t row_room = static_cast<size_t>(index_width + name_width + packed_width + unpacked_width) + 32;
    ContentHasher hasher(archive);
    OutputBatch batch;
    for (uint32_t index = 0; index < archive.Count(); ++index) {
        const EntryFacts& facts = archive.report.entries[index];
        char* at = PutRight(batch.Room(row_room + base.size()), index, index_width);
        *at++ = ' ';
        *at++ = ' ';
        at = std::copy(base.begin(), base.end(), at);
        char* suffix = at;
        FormatEntryName(at, 24, "", index, ExtensionOf(facts.kind));
        while (*at != '\0') ++at;
        // Padded by display cells: the suffix is ASCII, one cell a byte.
        for (int k = base_cells + static_cast<int>(at - suffix); k < name_width; ++k) *at++ = ' ';
        *at++ = ' ';
        *at++ = ' ';
        at = PutRight(at, facts.stored_size, packed_width);
        *at++ = ' ';
        *at++ = ' ';
        at = PutRight(at, facts.unpacked_size, unpacked_width);
        if (hash) {
            batch.Used(at);
            Json digest = HashOf(hasher, index, failed);
            std::string text = digest.is_string() ? digest.get<std::string>() : std::string("-");
            at = batch.Room(text.size() + 3);
            *at++ = ' ';
            *at++ = ' ';
            at = std::copy(text.begin(), text.end(), at);
        }
        *at++ = '\n';
        batch.Used(at);
    }
}

}  // namespace

int RunList(const ListOptions& options) {
    std::string error;
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
        if (options.names_only) {
            for (uint32_t index = 0; index < archive.Count(); ++index) std::printf("%s\n", archive.PrintableNameOf(index).c_str());
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
