#include "archive/integrity.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "archive/window_decoder.h"
#include "format/coding.h"
#include "format/content_plausibility.h"

namespace kova {
namespace {

// A long pair run: control byte, u16 count of pairs, the pair.
constexpr uint64_t kLongestRunBytes = 5;
constexpr uint64_t kLongestRunOutput = 2 * uint64_t{kMaxLongCount};
// The header and the word after it that validation reads: bytes of the
// archive's own, whatever the index holds.
constexpr uint64_t kHeadBytes = kValidatedBytes;

void CheckExtent(const ArchiveReader& reader, const IntegrityReport& report, uint32_t index,
                 std::vector<IntegrityFinding>& findings) {
    const EntryFacts& facts = report.entries[index];
    // An empty entry holds no bytes that could be missing.
    if (facts.stored_size == 0) return;
    uint64_t end = uint64_t{facts.data_offset} + facts.stored_size;
    // The file's end is the harder limit: bytes past it read as zero.
    if (end > reader.archive_bytes) {
        IntegrityFinding finding{IntegrityProblem::kPastEnd, index};
        finding.actual = end;
        finding.expected = reader.archive_bytes;
        finding.past_file = true;
        finding.offset = facts.data_offset;
        findings.push_back(finding);
    } else if (end > report.archive_size) {
        IntegrityFinding finding{IntegrityProblem::kPastEnd, index};
        finding.actual = end;
        finding.expected = report.archive_size;
        finding.offset = facts.data_offset;
        findings.push_back(finding);
    }
}

struct Extent {
    uint64_t begin;
    uint64_t end;
    int64_t index;  // -1: the header and the index
};

// One pass over the extents in offset order: partial overlaps, identical
// ranges (shared, not overlapping) and, for the full walk, the bytes no
// extent covers. Extents are sorted as numbers into the entries, 4 bytes
// each, so that a million entries cost a few megabytes.
void SweepExtents(const ArchiveReader& reader, IntegrityDepth depth, const WalkOptions& options,
                  IntegrityReport& report, std::vector<IntegrityFinding>& findings) {
    uint64_t index_start = reader.in_memory ? kImageIndexStart : reader.index_offset;
    // 0 is the header, 1 the index, k + 2 entry k.
    auto extent = [&](uint32_t id) -> Extent {
        if (id == 0) return {0, kHeaderSize, -1};
        if (id == 1) return {index_start, index_start + uint64_t{reader.entry_count} * kIndexEntrySize, -1};
        const EntryFacts& facts = report.entries[id - 2];
        return {facts.data_offset, uint64_t{facts.data_offset} + facts.stored_size, static_cast<int64_t>(id - 2)};
    };
    const uint32_t ids = static_cast<uint32_t>(report.entries.size() + 2);
    // An empty extent occupies nothing, wherever it says it starts.
    auto occupies = [&](uint32_t id) {
        Extent e = extent(id);
        return e.begin != e.end;
    };
    auto before = [&](uint32_t a, uint32_t b) {
        Extent x = extent(a), y = extent(b);
        if (x.begin != y.begin) return x.begin < y.begin;
        if (x.end != y.end) return x.end < y.end;
        return x.index < y.index;
    };
    // Writers lay entries out in index order: then the ids are the order,
    // and no list of them is made or sorted.
    bool in_order = true;
    for (uint32_t id = 0, last = UINT32_MAX; id < ids && in_order; ++id) {
        if (!occupies(id)) continue;
        in_order = last == UINT32_MAX || !before(id, last);
        last = id;
    }
    std::vector<uint32_t> order;
    if (!in_order) {
        order.reserve(ids);
        for (uint32_t id = 0; id < ids; ++id) {
            if (occupies(id)) order.push_back(id);
        }
        std::sort(order.begin(), order.end(), before);
    }

    std::vector<bool> reported(report.entries.size(), false);
    auto report_pair = [&](const Extent& entry, const Extent& other) {
        if (entry.index < 0 || reported[static_cast<size_t>(entry.index)]) return;
        reported[static_cast<size_t>(entry.index)] = true;
        IntegrityFinding finding{IntegrityProblem::kOverlap, entry.index};
        finding.other = other.index;
        finding.actual = entry.begin;
        finding.expected = other.end;
        finding.offset = entry.begin;
        findings.push_back(finding);
    };
    bool accounting = depth == IntegrityDepth::kFullDecode;
    // Bytes past what the archive declares or the file holds are no gap:
    // they are trailing bytes, or missing.
    uint64_t gap_limit = std::min<uint64_t>(report.archive_size, reader.archive_bytes);
    auto gap = [&](uint64_t from, uint64_t to, int64_t after) {
        to = std::min(to, gap_limit);
        if (!accounting || from >= to) return;
        IntegrityFinding finding{IntegrityProblem::kGap, after};
        finding.offset = from;
        finding.length = to - from;
        findings.push_back(finding);
    };

    // Sweep in offset order, keeping the extent that reaches furthest: any
    // extent that begins before it ends overlaps it, unless it is the very
    // same range.
    bool any = false;
    Extent furthest{};
    Extent previous{};
    // What the extents so far cover, from the start, and the extent that
    // reaches furthest: a gap follows it.
    uint64_t covered = kHeadBytes;
    int64_t covered_by = -1;
    size_t group = SIZE_MAX;  // the shared range `previous` belongs to
    auto visit = [&](uint32_t id) {
        Extent e = extent(id);
        bool same = any && e.index >= 0 && previous.index >= 0 && e.begin == previous.begin && e.end == previous.end;
        if (same) {
            if (group == SIZE_MAX) {
                group = report.shared.size();
                report.shared.push_back({static_cast<uint32_t>(e.begin), static_cast<uint32_t>(e.end - e.begin),
                                         {static_cast<uint32_t>(previous.index)}});
                if (report.owner.empty()) {
                    report.owner.resize(report.entries.size());
                    for (uint32_t k = 0; k < report.owner.size(); ++k) report.owner[k] = k;
                }
            }
            SharedRange& range = report.shared[group];
            range.entries.push_back(static_cast<uint32_t>(e.index));
            report.owner[static_cast<size_t>(e.index)] = range.entries.front();
        } else {
            group = SIZE_MAX;
        }
        if (e.begin > covered) gap(covered, e.begin, covered_by);
        if (e.end > covered) {
            covered = e.end;
            covered_by = e.index;
        }
        bool same_as_furthest = e.index >= 0 && furthest.index >= 0 && e.begin == furthest.begin && e.end == furthest.end;
        if (any && e.begin < furthest.end && !same_as_furthest) {
            report_pair(e, furthest);
            report_pair(furthest, e);
        }
        if (!any || e.end > furthest.end) furthest = e;
        any = true;
        previous = e;
    };
    if (in_order) {
        for (uint32_t id = 0; id < ids; ++id) {
            if (occupies(id)) visit(id);
        }
    } else {
        for (uint32_t id : order) visit(id);
    }
    gap(covered, gap_limit, covered_by);
    if (accounting && options.whole_file) {
        uint64_t used = std::max<uint64_t>(report.archive_size, covered);
        if (reader.archive_bytes > used) {
            IntegrityFinding finding{IntegrityProblem::kTrailingBytes, -1};
            finding.offset = used;
            finding.length = reader.archive_bytes - used;
            findings.push_back(finding);
        }
    }
    std::sort(report.shared.begin(), report.shared.end(),
              [](const SharedRange& a, const SharedRange& b) { return a.entries.front() < b.entries.front(); });
}

IntegrityProblem WarningOf(Implausibility kind) {
    switch (kind) {
    case Implausibility::kBitmapFileSize:
        return IntegrityProblem::kBitmapFileSize;
    case Implausibility::kBitmapPixelOffset:
        return IntegrityProblem::kBitmapPixelOffset;
    case Implausibility::kBitmapImageSize:
        return IntegrityProblem::kBitmapImageSize;
    case Implausibility::kWaveRiffSize:
        return IntegrityProblem::kWaveRiffSize;
    case Implausibility::kWaveDataSize:
        return IntegrityProblem::kWaveDataSize;
    case Implausibility::kMidiTrackPastEnd:
        return IntegrityProblem::kMidiTrackPastEnd;
    case Implausibility::kMidiTrackCount:
        break;
    }
    return IntegrityProblem::kMidiTrackCount;
}

bool Scanned(EntryKind kind) { return kind != EntryKind::kOther; }

// The full walk's look at one entry's content: its stream decoded to the end
// and, for the kinds that carry sizes of their own, those sizes. Findings go
// to `findings` with the entry's index.
struct ContentWalk {
    const ArchiveReader& reader;
    const WalkOptions& options;
    HeapBuffer window;
    ContentScanner scanner;
    std::vector<PlausibilityFinding> plausible;

    void Plausibility(uint32_t index, std::vector<IntegrityFinding>& findings) {
        scanner.Finish(plausible);
        for (const PlausibilityFinding& found : plausible) {
            IntegrityFinding finding{WarningOf(found.kind), index};
            finding.actual = found.value;
            finding.expected = found.limit;
            finding.at = found.at;
            finding.offset = report_offset;
            findings.push_back(finding);
        }
    }

    void Coded(const IndexEntry& entry, const EntryFacts& facts, uint32_t index,
               std::vector<IntegrityFinding>& findings) {
        report_offset = facts.data_offset;
        HeapBuffer scratch;
        ByteSpan stored;
        bool scan = Scanned(facts.kind);
        if (scan) scanner.Begin(facts.kind, facts.unpacked_size);
        WindowedResult decoded;
        if (reader.ReadStored(entry, scratch, stored) != ArchiveStatus::kOk ||
            !DecodeInWindow(stored, facts.stored_size, facts.unpacked_size, window,
                            scan ? &ContentScanner::FeedThrough : nullptr, &scanner, decoded, options.window_size)) {
            IntegrityFinding finding{IntegrityProblem::kNotDecoded, index};
            finding.expected = facts.unpacked_size;
            finding.offset = facts.data_offset;
            findings.push_back(finding);
            return;
        }
        // Unused counts the stored bytes the file holds; missing ones are
        // told of as past the end.
        uint64_t held = std::min<uint64_t>(reader.BytesHeldOf(entry), facts.stored_size);
        uint64_t unused = held > decoded.input_used ? held - decoded.input_used : 0;
        bool full = decoded.written == facts.unpacked_size;
        // The writer closes a full output with one 0x00 command.
        if (full && unused > 0 && ByteAt(stored, static_cast<size_t>(decoded.input_used)) == kEndCommand) --unused;
        if (full && unused == 0) {
            if (scan) Plausibility(index, findings);
            return;
        }
        IntegrityProblem problem = full ? IntegrityProblem::kUnusedBytes
                                   : decoded.stop == DecodeStop::kCopyBeforeStart ? IntegrityProblem::kCopyBeforeStart
                                                                                  : IntegrityProblem::kStreamEndsEarly;
        IntegrityFinding finding{problem, index};
        finding.actual = decoded.written;
        finding.expected = facts.unpacked_size;
        finding.stop = decoded.stop;
        finding.input_used = decoded.input_used;
        finding.unused = unused;
        // Where it stopped: the end command itself, or the first stored
        // byte it did not take.
        finding.offset = facts.data_offset + decoded.input_used - (decoded.stop == DecodeStop::kEndCommand ? 1 : 0);
        findings.push_back(finding);
    }

    // A stored entry's content is its stored bytes: read in pieces.
    void Stored(const IndexEntry& entry, const EntryFacts& facts, uint32_t index,
                std::vector<IntegrityFinding>& findings) {
        report_offset = facts.data_offset;
        size_t piece = std::max<size_t>(options.window_size, 64);
        if (window.size < piece) {
            window.Release();
            if (!window.Allocate(piece)) return;
        }
        scanner.Begin(facts.kind, facts.stored_size);
        // Only the bytes the file holds: the missing ones are told of as
        // past the end, and a stored size near 4 GiB costs nothing more.
        uint64_t held = reader.BytesHeldOf(entry);
        for (uint64_t done = 0; done < held;) {
            size_t take = static_cast<size_t>(std::min<uint64_t>(piece, held - done));
            std::memset(window.data, 0, take);
            reader.ReadBytes(uint64_t{entry.data_offset} + done, window.data, take);
            scanner.Feed(ByteSpan(window.data, take));
            done += take;
        }
        Plausibility(index, findings);
    }

    uint64_t report_offset = 0;
};

}  // namespace

bool IsContentWarning(IntegrityProblem problem) { return problem >= IntegrityProblem::kBitmapFileSize; }

uint64_t MostUnpackedFrom(uint32_t stored_size) {
    if (stored_size <= kCodedHeadSize) return 0;
    uint64_t stream = stored_size - kCodedHeadSize;
    return (stream + kLongestRunBytes - 1) / kLongestRunBytes * kLongestRunOutput;
}

void WalkArchive(const ArchiveReader& reader, IntegrityDepth depth, IntegrityReport& report,
                 const WalkOptions& options) {
    report = IntegrityReport{};
    uint8_t header[kHeaderSize] = {};
    reader.ReadBytes(0, header, sizeof header);
    report.archive_size = ReadHeader(ByteSpan(header, sizeof header)).archive_size;
    report.available_bytes = reader.archive_bytes;
    if (report.available_bytes < kHeaderSize) {
        IntegrityFinding finding{IntegrityProblem::kHeaderCut, -1};
        finding.actual = report.available_bytes;
        finding.expected = kHeaderSize;
        finding.offset = report.available_bytes;
        report.findings.push_back(finding);
    }
    if (report.available_bytes < report.archive_size) {
        IntegrityFinding finding{IntegrityProblem::kCutShort, -1};
        finding.expected = report.archive_size;
        finding.actual = report.available_bytes;
        finding.offset = report.available_bytes;
        report.findings.push_back(finding);
    }

    report.entries.resize(reader.entry_count);
    std::vector<IntegrityFinding> per_entry;
    std::vector<bool> possible(reader.entry_count, true);
    // Heads of entries in order come in large reads, as a listing gets them.
    HeadReader heads(reader);
    for (uint32_t k = 0; k < reader.entry_count; ++k) {
        IndexEntry entry = reader.Entry(k);
        uint8_t head[kEntryHeadSize];
        ByteSpan stored = heads.Head(k, entry, head);
        EntryDescription described = DescribeEntry(entry, stored);
        EntryFacts& facts = report.entries[k];
        facts.data_offset = entry.data_offset;
        facts.stored_size = entry.stored_size;
        facts.unpacked_size = described.unpacked_size;
        facts.method_byte = ByteAt(stored, 0);
        facts.coded = described.coded;
        facts.kind = described.kind;

        CheckExtent(reader, report, k, per_entry);
        if (facts.coded && facts.unpacked_size > MostUnpackedFrom(facts.stored_size)) {
            possible[k] = false;
            IntegrityFinding finding{IntegrityProblem::kImpossibleSize, k};
            finding.actual = facts.unpacked_size;
            finding.expected = MostUnpackedFrom(facts.stored_size);
            finding.offset = facts.data_offset;
            per_entry.push_back(finding);
        }
    }
    SweepExtents(reader, depth, options, report, per_entry);

    if (depth == IntegrityDepth::kFullDecode) {
        // A range shared by several records is decoded once, for the first;
        // what it shows holds for every record that names it.
        std::unordered_map<uint32_t, std::vector<IntegrityFinding>> of_owner;
        for (const SharedRange& range : report.shared) of_owner[range.entries.front()];
        ContentWalk walk{reader, options, {}, {}, {}};
        std::vector<IntegrityFinding> found;
        for (uint32_t k = 0; k < reader.entry_count; ++k) {
            const EntryFacts& facts = report.entries[k];
            uint32_t owner = report.OwnerOf(k);
            if (owner != k) {
                for (IntegrityFinding finding : of_owner[owner]) {
                    finding.index = k;
                    per_entry.push_back(finding);
                }
                continue;
            }
            found.clear();
            if (facts.coded && possible[k]) {
                walk.Coded(reader.Entry(k), facts, k, found);
            } else if (!facts.coded && Scanned(facts.kind)) {
                walk.Stored(reader.Entry(k), facts, k, found);
            }
            per_entry.insert(per_entry.end(), found.begin(), found.end());
            auto kept = of_owner.find(k);
            if (kept != of_owner.end()) kept->second = found;
        }
    }
    std::stable_sort(per_entry.begin(), per_entry.end(),
                     [](const IntegrityFinding& a, const IntegrityFinding& b) { return a.index < b.index; });
    report.findings.insert(report.findings.end(), per_entry.begin(), per_entry.end());
}

bool DiagnoseCutHead(ByteSpan head, uint64_t held, IntegrityFinding& finding) {
    if (head.size() < sizeof kMagic || std::memcmp(head.data(), kMagic, sizeof kMagic) != 0) return false;
    if (held < kHeaderSize) {
        finding = IntegrityFinding{IntegrityProblem::kHeaderCut, -1};
        finding.actual = held;
        finding.expected = kHeaderSize;
        finding.offset = held;
        return true;
    }
    uint8_t padded[kValidatedBytes] = {};
    std::memcpy(padded, head.data(), std::min(head.size(), sizeof padded));
    ArchiveHeader header = ReadHeader(ByteSpan(padded, sizeof padded));
    // The sizes must add up as validation wants; the word at byte 28 only
    // where the file holds it.
    uint32_t index_end32 = header.index_offset + 8 * header.entry_count;
    if (header.archive_size != header.data_size + index_end32) return false;
    if (held >= kValidatedBytes && !ValidateHeader(ByteSpan(padded, sizeof padded))) return false;
    uint64_t index_end = uint64_t{header.index_offset} + uint64_t{header.entry_count} * kIndexEntrySize;
    if (index_end <= held) return false;
    finding = IntegrityFinding{IntegrityProblem::kIndexCut, -1};
    finding.actual = held > header.index_offset ? (held - header.index_offset) / kIndexEntrySize : 0;
    finding.expected = header.entry_count;
    finding.offset = header.index_offset;
    finding.length = index_end - held;
    return true;
}

}  // namespace kova
