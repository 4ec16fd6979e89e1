#include "cli/damage_report.h"

#include <algorithm>

#include "cli/messages.h"

namespace kova::cli {
namespace {

constexpr size_t kMostFindingsShown = 10;

const char* StopWords(DecodeStop stop) {
    switch (stop) {
    case DecodeStop::kEndCommand:
        return "its end command comes";
    case DecodeStop::kInputExhausted:
        return "its stored bytes run out (or end inside a command)";
    case DecodeStop::kOutputFull:
        return "its output is full";
    case DecodeStop::kCopyBeforeStart:
        return "a back copy reaches before the start";
    }
    return "it stops";
}

std::string UnusedWords(uint64_t unused) {
    if (unused == 0) return "";
    return "; " + CountOf(unused, "stored byte", "stored bytes") + " after it " + (unused == 1 ? "is" : "are") + " unused";
}

std::string EntryWords(int64_t other, const IntegrityReport& report) {
    if (other < 0) return "the header and index";
    const EntryFacts& facts = report.entries[static_cast<size_t>(other)];
    return "entry " + std::to_string(other) + " (bytes " + std::to_string(facts.data_offset) + " to " +
           std::to_string(uint64_t{facts.data_offset} + facts.stored_size) + ")";
}

}  // namespace

const char* FindingKey(IntegrityProblem problem) {
    switch (problem) {
    case IntegrityProblem::kHeaderCut: return "header_cut";
    case IntegrityProblem::kIndexCut: return "index_cut";
    case IntegrityProblem::kCutShort: return "cut_short";
    case IntegrityProblem::kPastEnd: return "past_end";
    case IntegrityProblem::kOverlap: return "overlap";
    case IntegrityProblem::kGap: return "gap";
    case IntegrityProblem::kTrailingBytes: return "trailing_bytes";
    case IntegrityProblem::kImpossibleSize: return "impossible_size";
    case IntegrityProblem::kStreamEndsEarly: return "stream_ends_early";
    case IntegrityProblem::kCopyBeforeStart: return "copy_before_start";
    case IntegrityProblem::kUnusedBytes: return "unused_bytes";
    case IntegrityProblem::kNotDecoded: return "not_checked";
    case IntegrityProblem::kBitmapFileSize: return "bmp_file_size";
    case IntegrityProblem::kBitmapPixelOffset: return "bmp_pixel_offset";
    case IntegrityProblem::kBitmapImageSize: return "bmp_image_size";
    case IntegrityProblem::kWaveRiffSize: return "wav_riff_size";
    case IntegrityProblem::kWaveDataSize: return "wav_data_size";
    case IntegrityProblem::kMidiTrackPastEnd: return "mid_chunk_past_end";
    case IntegrityProblem::kMidiTrackCount: return "mid_track_count";
    }
    return "unknown";
}

std::vector<std::string> FindingKinds() {
    std::vector<std::string> kinds;
    for (int k = 0; k <= static_cast<int>(IntegrityProblem::kMidiTrackCount); ++k) {
        kinds.push_back(FindingKey(static_cast<IntegrityProblem>(k)));
    }
    kinds.push_back(kSharedRangeKey);
    return kinds;
}

DescribedFinding DescribeFinding(const IntegrityFinding& finding, const IntegrityReport& report) {
    std::string actual = std::to_string(finding.actual), expected = std::to_string(finding.expected);
    auto n = [](uint64_t value) { return std::to_string(value); };
    const char* key = FindingKey(finding.problem);
    switch (finding.problem) {
    case IntegrityProblem::kHeaderCut:
        return {key, "the file is cut inside the header: the header holds " + actual + " of its " + expected + " bytes"};
    case IntegrityProblem::kIndexCut:
        return {key, "the file is cut inside the index: the index holds " + actual + " of its " + expected +
                         " records (it starts at byte " + n(finding.offset) + "; " + n(finding.length) +
                         " bytes of it are missing)"};
    case IntegrityProblem::kCutShort:
        return {key, "the file is cut short: the archive's header gives " + expected +
                                 " bytes, the file holds " + actual + "; the missing bytes read as zero"};
    case IntegrityProblem::kPastEnd:
        return {key, std::string("its stored bytes end at byte ") + actual + ", past the end of the " +
                                (finding.past_file ? "file" : "archive") + " at byte " + expected +
                                (finding.past_file ? "; the missing bytes read as zero" : "")};
    case IntegrityProblem::kOverlap:
        return {key, "its stored bytes, from byte " + actual + ", overlap " + EntryWords(finding.other, report)};
    case IntegrityProblem::kGap:
        return {key, "bytes " + n(finding.offset) + " to " + n(finding.offset + finding.length) + " (" +
                         CountOf(finding.length, "byte", "bytes") + ") after " +
                         (finding.index < 0 ? "the header and index" : "its stored bytes") + " belong to no entry"};
    case IntegrityProblem::kTrailingBytes:
        return {key, CountOf(finding.length, "byte", "bytes") + " after the archive's end at byte " +
                         n(finding.offset) + " belong to no entry"};
    case IntegrityProblem::kImpossibleSize: {
        const EntryFacts& facts = report.entries[static_cast<size_t>(finding.index)];
        return {key, "it declares " + actual + " unpacked bytes, but its " +
                                       std::to_string(facts.stored_size) + " stored bytes can give at most " +
                                       expected};
    }
    case IntegrityProblem::kStreamEndsEarly:
        return {key, std::string("its coded stream stops after ") + actual + " of its " + expected + " bytes (" +
                         n(finding.expected - finding.actual) + " missing): " + StopWords(finding.stop) +
                         " at stored byte " +
                         n(finding.input_used - (finding.stop == DecodeStop::kEndCommand ? 1 : 0)) +
                         UnusedWords(finding.unused)};
    case IntegrityProblem::kCopyBeforeStart:
        return {key, "a back copy at output byte " + actual + " of " + expected +
                         " reaches before the start of the output (" + n(finding.expected - finding.actual) +
                         " bytes missing)" + UnusedWords(finding.unused)};
    case IntegrityProblem::kUnusedBytes:
        return {key, "its output is full (" + expected + " bytes) at stored byte " + n(finding.input_used) + " of " +
                         n(report.entries[static_cast<size_t>(finding.index)].stored_size) +
                         UnusedWords(finding.unused)};
    case IntegrityProblem::kNotDecoded:
        return {key, "out of memory: its " + expected + " bytes could not be decoded to check them"};
    case IntegrityProblem::kBitmapFileSize:
        return {key, "its bitmap header gives a file size of " + actual + " bytes; the entry holds " + expected};
    case IntegrityProblem::kBitmapPixelOffset:
        return {key, "its bitmap header puts the pixels at byte " + actual + ", past the entry's " + expected + " bytes"};
    case IntegrityProblem::kBitmapImageSize:
        return {key, "its bitmap header's image size ends the pixels at byte " + actual + ", past the entry's " +
                         expected + " bytes"};
    case IntegrityProblem::kWaveRiffSize:
        return {key, "its RIFF chunk's size ends it at byte " + actual + ", past the entry's " + expected + " bytes"};
    case IntegrityProblem::kWaveDataSize:
        return {key, "its data chunk (at byte " + n(finding.at) + ") ends at byte " + actual + ", past the entry's " +
                         expected + " bytes"};
    case IntegrityProblem::kMidiTrackPastEnd:
        return {key, "its chunk at byte " + n(finding.at) + " ends at byte " + actual + ", past the entry's " +
                         expected + " bytes"};
    case IntegrityProblem::kMidiTrackCount:
        return {key, "its header gives " + CountOf(finding.expected, "track", "tracks") + ", its chunks hold " + actual};
    }
    return {"unknown", ""};
}

std::string DescribeShared(const SharedRange& range, const ListedArchive& archive) {
    std::string text = "its stored bytes (bytes " + std::to_string(range.data_offset) + " to " +
                       std::to_string(uint64_t{range.data_offset} + range.stored_size) + ") are shared by " +
                       CountOf(range.entries.size() - 1, "more entry", "more entries") + ":";
    size_t shown = std::min(range.entries.size(), kMostFindingsShown + 1);
    for (size_t k = 1; k < shown; ++k) text += (k == 1 ? " " : ", ") + std::to_string(range.entries[k]);
    if (range.entries.size() > shown) text += " and " + std::to_string(range.entries.size() - shown) + " more";
    (void)archive;
    return text + "; a writer may do that on purpose";
}

std::string FindingSubject(const IntegrityFinding& finding, const ListedArchive& archive) {
    if (finding.index < 0) return "the archive";
    std::string subject = "entry " + std::to_string(finding.index);
    if (static_cast<uint64_t>(finding.index) >= archive.Count()) return subject;
    return subject + " (" + Printable(archive.NameOf(static_cast<uint32_t>(finding.index))) + ")";
}

void ReportFindings(const ListedArchive& archive, const IntegrityReport& report, bool as_errors) {
    auto report_line = as_errors ? ReportError : ReportWarning;
    size_t shown = std::min(report.findings.size(), kMostFindingsShown);
    for (size_t k = 0; k < shown; ++k) {
        const IntegrityFinding& finding = report.findings[k];
        std::string line = Printable(archive.display) + ": ";
        // The archive's own findings read as they are; an entry's are its.
        if (finding.index >= 0) line += FindingSubject(finding, archive) + ": ";
        report_line(line + DescribeFinding(finding, report).detail);
    }
    if (report.findings.size() > shown) {
        report_line(Printable(archive.display) + ": and " + std::to_string(report.findings.size() - shown) + " more");
    }
}

bool HasImpossibleSize(const IntegrityReport& report, uint32_t index) {
    // Findings come in entry order, so an entry's own lie together.
    auto first = std::lower_bound(report.findings.begin(), report.findings.end(), int64_t{index},
                                  [](const IntegrityFinding& finding, int64_t wanted) { return finding.index < wanted; });
    for (auto at = first; at != report.findings.end() && at->index == int64_t{index}; ++at) {
        if (at->problem == IntegrityProblem::kImpossibleSize) return true;
    }
    return false;
}

}  // namespace kova::cli
