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

std::string EntryWords(int64_t other, const IntegrityReport& report) {
    if (other < 0) return "the header and index";
    const EntryFacts& facts = report.entries[static_cast<size_t>(other)];
    return "entry " + std::to_string(other) + " (bytes " + std::to_string(facts.data_offset) + " to " +
           std::to_string(uint64_t{facts.data_offset} + facts.stored_size) + ")";
}

}  // namespace

DescribedFinding DescribeFinding(const IntegrityFinding& finding, const IntegrityReport& report) {
    std::string actual = std::to_string(finding.actual), expected = std::to_string(finding.expected);
    switch (finding.problem) {
    case IntegrityProblem::kCutShort:
        return {"cut_short", "the file is cut short: the archive's header gives " + expected +
                                 " bytes, the file holds " + actual + "; the missing bytes read as zero"};
    case IntegrityProblem::kPastEnd:
        return {"past_end", std::string("its stored bytes end at byte ") + actual + ", past the end of the " +
                                (finding.past_file ? "file" : "archive") + " at byte " + expected +
                                (finding.past_file ? "; the missing bytes read as zero" : "")};
    case IntegrityProblem::kOverlap:
        return {"overlap", "its stored bytes, from byte " + actual + ", overlap " + EntryWords(finding.other, report)};
    case IntegrityProblem::kImpossibleSize: {
        const EntryFacts& facts = report.entries[static_cast<size_t>(finding.index)];
        return {"impossible_size", "it declares " + actual + " unpacked bytes, but its " +
                                       std::to_string(facts.stored_size) + " stored bytes can give at most " +
                                       expected};
    }
    case IntegrityProblem::kStreamEndsEarly:
        return {"stream_ends_early", std::string("its coded stream stops after ") + actual + " of its " + expected +
                                         " bytes: " + StopWords(finding.stop) + " at stored byte " +
                                         std::to_string(finding.input_used)};
    case IntegrityProblem::kCopyBeforeStart:
        return {"copy_before_start", "a back copy at output byte " + actual + " of " + expected +
                                         " reaches before the start of the output"};
    case IntegrityProblem::kNotDecoded:
        return {"not_checked", "out of memory: its " + expected + " bytes could not be decoded to check them"};
    }
    return {"unknown", ""};
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
