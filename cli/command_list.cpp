// kova list: every entry of one or more archives, as text or as JSON, each
// line written as it is made.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/archive_arguments.h"
#include "cli/archive_source.h"
#include "cli/content_hashes.h"
#include "cli/commands.h"
#include "cli/damage_report.h"
#include "cli/display_width.h"
#include "cli/entry_selection.h"
#include "cli/json_stream.h"
#include "cli/manifest.h"
#include "cli/messages.h"
#include "cli/terminal.h"
#include "format/decimal.h"
#include "format/entry_name.h"

namespace kova::cli {
namespace {

// The entries a listing shows: every one, in index order, or those a
// selection chose. Every entry is the common case, and for a million of
// them no list of indices is made.
struct ShownEntries {
    const std::vector<uint32_t>* chosen = nullptr;  // null: all
    uint32_t all = 0;

    size_t Count() const { return chosen != nullptr ? chosen->size() : all; }
    uint32_t At(size_t k) const { return chosen != nullptr ? (*chosen)[k] : static_cast<uint32_t>(k); }
};

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

void WriteJson(const ListedArchive& archive, const ShownEntries& shown, bool hash, int depth, bool& failed) {
    std::printf("{\n%*s\"archive\": %s,\n", 2 * (depth + 1), "", Json(Printable(archive.display)).dump().c_str());
    if (hash) WriteManifestFields(archive, depth + 1, failed);
    std::printf("%*s\"entries\": ", 2 * (depth + 1), "");
    ContentHasher hasher(archive);
    JsonArrayWriter entries{depth + 1};
    entries.Begin();
    for (size_t k = 0; k < shown.Count(); ++k) {
        uint32_t index = shown.At(k);
        ListedEntry entry = archive.EntryAt(index);
        Json digest = hash ? HashOf(hasher, index, failed) : Json();
        entries.Next();
        WriteRecord(entry, archive.PrintableNameOf(index), digest, hash, depth + 2);
    }
    entries.End();
    std::printf("\n%*s}", 2 * depth, "");
}

// `value` in decimal, right-aligned in `width` columns (at most 20, as
// many as a 64-bit value has digits), at `at`, which has room for 20 bytes
// however narrow the column; returns where the next column starts.
char* PutRight(char* at, uint64_t value, int width) {
    const int cells = std::max(width, DecimalLength(value));
    // One fill of a fixed size, a few stores, then the digits over its end.
    std::memset(at, ' ', 20);
    DecimalEndingAt(at + cells, value);
    return at + cells;
}

// The same for digits already written.
char* PutRight(char* at, const DecimalCounter& number, int width) {
    const int cells = std::max(width, number.length);
    std::memset(at, ' ', 20);
    std::memcpy(at + cells - number.length, number.Digits(), static_cast<size_t>(number.length));
    return at + cells;
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

// 1,782: digits in groups of three, as a person reads a total.
std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value), text;
    for (size_t k = 0; k < digits.size(); ++k) {
        if (k != 0 && (digits.size() - k) % 3 == 0) text += ',';
        text += digits[k];
    }
    return text;
}

// The packed size as a whole percentage of the unpacked, or "-" for an
// empty entry.
std::string RatioOf(uint64_t packed, uint64_t unpacked) {
    if (unpacked == 0) return "-";
    return std::to_string(static_cast<uint64_t>(100.0 * static_cast<double>(packed) / static_cast<double>(unpacked) + 0.5)) +
           " %";
}

// "6 entries, 1,755 packed, 11,464 unpacked, 15 % of unpacked".
std::string TotalsLine(const ListedArchive& archive, const ShownEntries& shown) {
    uint64_t packed = 0, unpacked = 0;
    for (size_t k = 0; k < shown.Count(); ++k) {
        const EntryFacts& facts = archive.report.entries[shown.At(k)];
        packed += facts.stored_size;
        unpacked += facts.unpacked_size;
    }
    std::string line = std::to_string(shown.Count()) + (shown.Count() == 1 ? " entry, " : " entries, ") +
                       Grouped(packed) + " packed, " + Grouped(unpacked) + " unpacked";
    if (unpacked != 0) line += ", " + RatioOf(packed, unpacked) + " of unpacked";
    return line;
}

// The table's column widths, from what the index and heads say, not from
// rows held: the last entry's name is the longest, since only the digits
// differ. At least as wide as the headings.
struct ColumnWidths {
    int index = 5, name = 4, offset = 6, packed = 6, unpacked = 8;
};

ColumnWidths WidthsOf(const ListedArchive& archive) {
    ColumnWidths widths;
    if (archive.Count() != 0) {
        widths.index = std::max(widths.index, DecimalLength(archive.Count() - 1));
        widths.name = std::max(widths.name, static_cast<int>(DisplayWidth(archive.PrintableNameOf(archive.Count() - 1))));
    }
    // The largest value has the most digits: one count per column, not
    // one per entry.
    uint64_t offset = 0, packed = 0, unpacked = 0;
    for (const EntryFacts& facts : archive.report.entries) {
        offset = std::max<uint64_t>(offset, facts.data_offset);
        packed = std::max<uint64_t>(packed, facts.stored_size);
        unpacked = std::max<uint64_t>(unpacked, facts.unpacked_size);
    }
    widths.offset = std::max(widths.offset, DecimalLength(offset));
    widths.packed = std::max(widths.packed, DecimalLength(packed));
    widths.unpacked = std::max(widths.unpacked, DecimalLength(unpacked));
    return widths;
}

// The entry's SHA-256 for a table's column, "-" when it cannot be had.
std::string HashColumn(ContentHasher& hasher, uint32_t index, bool& failed) {
    Json digest = HashOf(hasher, index, failed);
    return digest.is_string() ? digest.get<std::string>() : std::string("-");
}

// The long form: one entry a line with how it is stored and what it is.
void PrintLongTable(const ListedArchive& archive, const ShownEntries& shown, bool hash, bool heading, bool& failed) {
    const ColumnWidths widths = WidthsOf(archive);
    const int index_width = widths.index, name_width = widths.name, offset_width = widths.offset,
              packed_width = widths.packed, unpacked_width = widths.unpacked;
    if (heading) {
        std::printf("%*s  %-*s  method  %*s  kind  %*s  %*s  ratio%s\n", index_width, "index", name_width, "name",
                    offset_width, "offset", packed_width, "packed", unpacked_width, "unpacked", hash ? "  sha256" : "");
    }
    ContentHasher hasher(archive);
    for (size_t k = 0; k < shown.Count(); ++k) {
        ListedEntry entry = archive.EntryAt(shown.At(k));
        std::string name = archive.PrintableNameOf(entry.index);
        int padding = name_width - static_cast<int>(DisplayWidth(name));
        std::string method = entry.coded ? std::to_string(entry.method_byte & 0x7F) : std::string("stored");
        using Wide = unsigned long long;
        std::string digest;
        if (hash) digest = "  " + HashColumn(hasher, entry.index, failed);
        std::printf("%*u  %s%*s  %6s  %*llu  %-4s  %*llu  %*llu  %5s%s\n", index_width, entry.index, name.c_str(),
                    padding > 0 ? padding : 0, "", method.c_str(), offset_width, static_cast<Wide>(entry.data_offset),
                    entry.kind, packed_width, static_cast<Wide>(entry.packed_size), unpacked_width,
                    static_cast<Wide>(entry.unpacked_size), RatioOf(entry.packed_size, entry.unpacked_size).c_str(),
                    digest.c_str());
    }
}

void PrintTable(const ListedArchive& archive, const ShownEntries& shown, bool hash, bool heading, bool& failed) {
    const ColumnWidths widths = WidthsOf(archive);
    const int index_width = widths.index, name_width = widths.name, packed_width = widths.packed,
              unpacked_width = widths.unpacked;
    if (heading) {
        std::printf("%*s  %-*s  %*s  %*s%s\n", index_width, "index", name_width, "name", packed_width, "packed",
                    unpacked_width, "unpacked", hash ? "  sha256" : "");
    }
    // Each row laid out by hand: printf's parsing costs more than the
    // listing. Names are the printable base name and the suffix the
    // plug-in's naming gives.
    const std::string& base = archive.printable_base_name;
    const int base_cells = static_cast<int>(DisplayWidth(base));
    // The separators and the newline, and PutRight's 20 bytes of slack.
    const size_t row_room = static_cast<size_t>(index_width + name_width + packed_width + unpacked_width) + 48;
    ContentHasher hasher(archive);
    OutputBatch batch;
    // The index's digits serve its column and the name; every entry in
    // order is the common case, and then they are counted, not written anew.
    DecimalCounter number;
    for (size_t k = 0; k < shown.Count(); ++k) {
        uint32_t index = shown.At(k);
        if (k == 0 || shown.chosen != nullptr) {
            number.Set(index);
        } else {
            number.Next();
        }
        const EntryFacts& facts = archive.report.entries[index];
        char* at = PutRight(batch.Room(row_room + base.size()), number, index_width);
        *at++ = ' ';
        *at++ = ' ';
        at = std::copy(base.begin(), base.end(), at);
        char* suffix = at;
        at += FormatEntrySuffix(at, number.Digits(), static_cast<size_t>(number.length), ExtensionOf(facts.kind));
        // Padded by display cells: the suffix is ASCII, one cell a byte.
        int cells = base_cells + static_cast<int>(at - suffix);
        if (cells < name_width) {
            std::memset(at, ' ', static_cast<size_t>(name_width - cells));
            at += name_width - cells;
        }
        *at++ = ' ';
        *at++ = ' ';
        at = PutRight(at, facts.stored_size, packed_width);
        *at++ = ' ';
        *at++ = ' ';
        at = PutRight(at, facts.unpacked_size, unpacked_width);
        if (hash) {
            batch.Used(at);
            std::string text = HashColumn(hasher, index, failed);
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
    bool selecting = !options.entries.empty() || !options.kinds.empty() || !options.exclusions.empty();
    SelectionTally selection;
    size_t unread = 0;
    JsonArrayWriter documents;
    if (options.json && several) documents.Begin();
    for (const std::string& word : options.archives) {
        ListedArchive archive;
        if (!OpenListedArchive(SourceFor(word, options.source), IntegrityDepth::kIndexAndHeads, archive, error)) {
            ReportError(error);
            failed = true;
            ++unread;
            continue;
        }
        const IntegrityReport& report = archive.report;
        ReportFindings(archive, report, options.strict);
        if (options.strict && !report.findings.empty()) {
            ReportError(archive.display + ": damaged (" + CountOf(report.findings.size(), "problem", "problems") +
                        "); 'kova check' tells more");
            failed = true;
            ++unread;
            continue;
        }
        ShownEntries shown{nullptr, archive.Count()};
        std::vector<uint32_t> chosen;
        if (selecting) {
            if (!SelectByPatterns(archive, options.entries, options.kinds, chosen, error, &selection)) {
                ReportError(error);
                failed = true;
                ++unread;
                continue;
            }
            DropExcluded(archive, options.exclusions, chosen);
            shown.chosen = &chosen;
        }
        if (options.names_only) {
            for (size_t k = 0; k < shown.Count(); ++k) std::printf("%s\n", archive.PrintableNameOf(shown.At(k)).c_str());
            continue;
        }
        if (options.json) {
            if (several) documents.Next();
            WriteJson(archive, shown, options.hash, several ? 1 : 0, failed);
            if (!several) std::printf("\n");
            continue;
        }
        if (several) {
            std::printf("%s%s:\n", first_shown ? "" : "\n", Printable(archive.display).c_str());
            first_shown = false;
        }
        // The heading and the totals are for people; a pipe gets the entries
        // alone, one a line.
        bool for_people = IsTerminal(stdout);
        if (options.long_form) {
            PrintLongTable(archive, shown, options.hash, for_people, failed);
        } else {
            PrintTable(archive, shown, options.hash, for_people, failed);
        }
        if (for_people) std::printf("%s\n", TotalsLine(archive, shown).c_str());
    }
    if (options.json && several) {
        documents.End();
        std::printf("\n");
    }
    // As extract does: a pattern no archive had anything for is an error,
    // unless an archive that could not be read might have had it.
    if (selecting && unread == 0 &&
        !ReportUnmatched(options.entries, options.kinds, selection, [](const std::string& message) { ReportError(message); })) {
        failed = true;
    }
    return failed ? kExitFailure : kExitSuccess;
}

}  // namespace kova::cli
