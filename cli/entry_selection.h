// Turning the entries a user names on the command line into entry indices.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/archive_source.h"

namespace kova::cli {

// Each selector is an entry's index ("3") or its listed name
// ("sample_003.WAV", case ignored when no name matches exactly). No
// selectors choose every entry. The result keeps the order given and names
// each entry once. False with a complete message in `error` for the first
// selector that matches nothing.
bool SelectEntries(const ListedArchive& archive, const std::vector<std::string>& selectors,
                   std::vector<uint32_t>& chosen, std::string& error);

// The selection grammar of extract, cat and list. Each selector is
//   an index            3
//   a range             0-5 (both ends included), 10- (to the last)
//   a listed name       sample_003.WAV (case ignored when no name matches exactly)
//   a glob on names     '*.WAV', 'disk?_00[0-4].*' (case ignored)
// An index or a name must match an entry; a range or a glob selects what
// it matches, which may be nothing (so that one pattern serves many
// archives). `kinds` (bmp, wav, mid, dat) keeps only entries of those
// sniffed kinds. No selectors choose every entry (of those kinds). The
// result keeps the order given and names each entry once.
// `tally`, when given, notes which selectors and kinds matched an entry,
// across every archive it is passed for.
struct SelectionTally {
    std::vector<bool> selector_matched;
    std::vector<bool> kind_matched;
};
bool SelectByPatterns(const ListedArchive& archive, const std::vector<std::string>& selectors,
                      const std::vector<std::string>& kinds, std::vector<uint32_t>& chosen,
                      std::string& error, SelectionTally* tally = nullptr);

// Takes out of `chosen` every entry an exclusion matches: an index, a range,
// a listed name or a glob, as above. An exclusion that matches nothing is
// no error, so that one serves many archives.
void DropExcluded(const ListedArchive& archive, const std::vector<std::string>& exclusions,
                  std::vector<uint32_t>& chosen);

// Reports, through `report`, each selector and kind that matched no entry
// in any archive (as tar does, this is an error once the rest is done).
// True when every one matched.
bool ReportUnmatched(const std::vector<std::string>& selectors, const std::vector<std::string>& kinds,
                     const SelectionTally& tally, const std::function<void(const std::string&)>& report);

// False, with the reason, for a selector no archive could match the way it
// is written: a range whose end comes before its start.
bool IsWellFormedSelector(const std::string& selector, std::string& error);

// Equal but for the case of ASCII letters.
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b);

// Case-insensitive (ASCII) glob: '*' any run, '?' one byte, [abc], [a-z],
// [!a-z]; a '[' without its ']' matches itself.
bool GlobMatches(const std::string& pattern, const std::string& name);

}  // namespace kova::cli
