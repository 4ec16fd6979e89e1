// What the archive's own index and entry heads (or, for `check`, its decoded
// streams) say about its soundness, in words. The plug-in reads damaged
// archives without a word, as hosts expect; the command tells its user.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive/integrity.h"
#include "cli/archive_source.h"

namespace kova::cli {

// A finding as check reports it: a short key ("past_end") and a sentence.
struct DescribedFinding {
    const char* problem;
    std::string detail;
};
DescribedFinding DescribeFinding(const IntegrityFinding& finding, const IntegrityReport& report);

// The finding's kind as --allow and --json name it ("gap").
const char* FindingKey(IntegrityProblem problem);
// A range several records share, as check tells of it on its first entry.
constexpr const char* kSharedRangeKey = "shared_range";
std::string DescribeShared(const SharedRange& range, const ListedArchive& archive);

// "entry 3 (disk1_003.BMP)", or "the archive" for a finding of the whole.
std::string FindingSubject(const IntegrityFinding& finding, const ListedArchive& archive);

// The findings, one line each on standard error, at most 10 and then
// "and N more": as warnings, or as errors with `as_errors`.
void ReportFindings(const ListedArchive& archive, const IntegrityReport& report, bool as_errors);

// True when entry `index` declares more than its stored bytes could ever
// give (extraction would write a file of that many zeros).
bool HasImpossibleSize(const IntegrityReport& report, uint32_t index);

}  // namespace kova::cli
