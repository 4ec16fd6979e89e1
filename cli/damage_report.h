// What the archive's own index and entry heads (or, for `check`, its decoded
// streams) say about its soundness, in words. The plug-in reads damaged
// archives without a word, as hosts expect; the command tells its user.
#pragma once

#include <cstddef>
#include <string>

#include "archive/integrity.h"
#include "cli/archive_host.h"

namespace kova::cli {

// Walks the archive `archive` was listed from with the archive library, to
// `depth`, and copies what the index and heads say of each entry into its
// listed entry (offset, method, kind). False with a complete message in
// `error` when the archive cannot be opened that way.
bool InspectArchive(ListedArchive& archive, IntegrityDepth depth, IntegrityReport& report, std::string& error);

// A finding as check reports it: a short key ("past_end") and a sentence.
struct DescribedFinding {
    const char* problem;
    std::string detail;
};
DescribedFinding DescribeFinding(const IntegrityFinding& finding, const IntegrityReport& report);

// "entry 3 (disk1_003.BMP)", or "the archive" for a finding of the whole.
std::string FindingSubject(const IntegrityFinding& finding, const ListedArchive& archive);

// The findings, one line each on standard error, at most 10 and then
// "and N more": as warnings, or as errors with `as_errors`.
void ReportFindings(const ListedArchive& archive, const IntegrityReport& report, bool as_errors);

// True when the listed entry's declared size is more than its stored bytes
// could ever give (extraction would write a file of that many zeros).
bool HasImpossibleSize(const IntegrityReport& report, const ListedEntry& entry);

// The sniffed kind's short name: bmp, wav, mid or dat.
const char* KindName(EntryKind kind);

}  // namespace kova::cli
