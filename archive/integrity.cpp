#include "archive/integrity.h"

#include <algorithm>

#include "format/coding.h"

namespace kova {
namespace {

// A long pair run: control byte, u16 count of pairs, the pair.
constexpr uint64_t kLongestRunBytes = 5;
constexpr uint64_t kLongestRunOutput = 2 * uint64_t{kMaxLongCount};

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
        findings.push_back(finding);
    } else if (end > report.archive_size) {
        IntegrityFinding finding{IntegrityProblem::kPastEnd, index};
        finding.actual = end;
        finding.expected = report.archive_size;
        findings.push_back(finding);
    }
}

struct Extent {
    uint64_t begin;
    uint64_t end;
    int64_t index;  // -1: the header and the index
};

// Every pair of overlapping extents, each entry reported once, against the
// first extent found to overlap it. Extents are sorted as numbers into the
// entries, 4 bytes each, so that a million entries cost a few megabytes.
void FindOverlaps(const ArchiveReader& reader, const IntegrityReport& report,
                  std::vector<IntegrityFinding>& findings) {
    uint64_t index_start = reader.in_memory ? kImageIndexStart : reader.index_offset;
    // 0 is the header, 1 the index, k + 2 entry k.
    auto extent = [&](uint32_t id) -> Extent {
        if (id == 0) return {0, kHeaderSize, -1};
        if (id == 1) return {index_start, index_start + uint64_t{reader.entry_count} * kIndexEntrySize, -1};
        const EntryFacts& facts = report.entries[id - 2];
        return {facts.data_offset, uint64_t{facts.data_offset} + facts.stored_size, static_cast<int64_t>(id - 2)};
    };
    std::vector<uint32_t> order;
    order.reserve(report.entries.size() + 2);
    for (uint32_t id = 0; id < report.entries.size() + 2; ++id) {
        // An empty extent occupies nothing, wherever it says it starts.
        Extent e = extent(id);
        if (e.begin != e.end) order.push_back(id);
    }
    auto before = [&](uint32_t a, uint32_t b) {
        Extent x = extent(a), y = extent(b);
        return x.begin != y.begin ? x.begin < y.begin : x.index < y.index;
    };
    // Writers lay entries out in index order: then there is nothing to sort.
    if (!std::is_sorted(order.begin(), order.end(), before)) std::sort(order.begin(), order.end(), before);
    std::vector<bool> reported(report.entries.size(), false);
    auto report_pair = [&](const Extent& entry, const Extent& other) {
        if (entry.index < 0 || reported[static_cast<size_t>(entry.index)]) return;
        reported[static_cast<size_t>(entry.index)] = true;
        IntegrityFinding finding{IntegrityProblem::kOverlap, entry.index};
        finding.other = other.index;
        finding.actual = entry.begin;
        finding.expected = other.end;
        findings.push_back(finding);
    };
    // Sweep in offset order, keeping the extent that reaches furthest: any
    // extent that begins before it ends overlaps it.
    bool any = false;
    Extent furthest{};
    for (uint32_t id : order) {
        Extent e = extent(id);
        if (any && e.begin < furthest.end) {
            report_pair(e, furthest);
            report_pair(furthest, e);
        }
        if (!any || e.end > furthest.end) furthest = e;
        any = true;
    }
}

void DecodeInFull(const ArchiveReader& reader, const IndexEntry& entry, const EntryFacts& facts, uint32_t index,
                  std::vector<IntegrityFinding>& findings) {
    HeapBuffer scratch;
    ByteSpan stored;
    HeapBuffer content;
    if (reader.ReadStored(entry, scratch, stored) != ArchiveStatus::kOk || !content.Allocate(facts.unpacked_size)) {
        IntegrityFinding finding{IntegrityProblem::kNotDecoded, index};
        finding.expected = facts.unpacked_size;
        findings.push_back(finding);
        return;
    }
    DecodeResult decoded = DecodeEntry(stored, facts.stored_size, content.MutableView());
    if (decoded.written == facts.unpacked_size) return;
    IntegrityFinding finding{decoded.stop == DecodeStop::kCopyBeforeStart ? IntegrityProblem::kCopyBeforeStart
                                                                           : IntegrityProblem::kStreamEndsEarly,
                             index};
    finding.actual = decoded.written;
    finding.expected = facts.unpacked_size;
    finding.stop = decoded.stop;
    finding.input_used = decoded.input_used;
    findings.push_back(finding);
}

}  // namespace

uint64_t MostUnpackedFrom(uint32_t stored_size) {
    if (stored_size <= kCodedHeadSize) return 0;
    uint64_t stream = stored_size - kCodedHeadSize;
    return (stream + kLongestRunBytes - 1) / kLongestRunBytes * kLongestRunOutput;
}

void WalkArchive(const ArchiveReader& reader, IntegrityDepth depth, IntegrityReport& report) {
    report = IntegrityReport{};
    uint8_t header[kHeaderSize] = {};
    reader.ReadBytes(0, header, sizeof header);
    report.archive_size = ReadHeader(ByteSpan(header, sizeof header)).archive_size;
    report.available_bytes = reader.archive_bytes;
    if (report.available_bytes < report.archive_size) {
        IntegrityFinding finding{IntegrityProblem::kCutShort, -1};
        finding.expected = report.archive_size;
        finding.actual = report.available_bytes;
        report.findings.push_back(finding);
    }

    report.entries.resize(reader.entry_count);
    std::vector<IntegrityFinding> per_entry;
    // Heads of entries in order come in large reads, as a listing gets them.
    HeadReader heads(reader);
    for (uint32_t k = 0; k < reader.entry_count; ++k) {
        IndexEntry entry = reader.Entry(k);
        uint8_t head[kEntryHeadSize];
        EntryDescription described = DescribeEntry(entry, heads.Head(k, entry, head));
        EntryFacts& facts = report.entries[k];
        facts.data_offset = entry.data_offset;
        facts.stored_size = entry.stored_size;
        facts.unpacked_size = described.unpacked_size;
        facts.method_byte = entry.stored_size > 0 ? head[0] : 0;
        facts.coded = described.coded;
        facts.kind = described.kind;

        CheckExtent(reader, report, k, per_entry);
        bool possible = !facts.coded || facts.unpacked_size <= MostUnpackedFrom(facts.stored_size);
        if (!possible) {
            IntegrityFinding finding{IntegrityProblem::kImpossibleSize, k};
            finding.actual = facts.unpacked_size;
            finding.expected = MostUnpackedFrom(facts.stored_size);
            per_entry.push_back(finding);
        } else if (depth == IntegrityDepth::kFullDecode && facts.coded) {
            DecodeInFull(reader, entry, facts, k, per_entry);
        }
    }
    FindOverlaps(reader, report, per_entry);
    std::stable_sort(per_entry.begin(), per_entry.end(),
                     [](const IntegrityFinding& a, const IntegrityFinding& b) { return a.index < b.index; });
    report.findings.insert(report.findings.end(), per_entry.begin(), per_entry.end());
}

}  // namespace kova
