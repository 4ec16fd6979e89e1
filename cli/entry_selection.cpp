#include "cli/entry_selection.h"

#include <algorithm>
#include <cstdint>

#include "cli/messages.h"
#include "format/entry_name.h"

namespace kova::cli {
namespace {

bool IsAllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// False when the number does not fit; it is then beyond every archive.
bool ParseIndex(const std::string& digits, uint64_t& index) {
    index = 0;
    for (char c : digits) {
        unsigned digit = static_cast<unsigned>(c - '0');
        if (index > (UINT64_MAX - digit) / 10) return false;
        index = index * 10 + digit;
    }
    return true;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b) { return SameIgnoringAsciiCase(a, b); }

constexpr uint32_t kNoEntry = UINT32_MAX;

uint32_t FindByIndex(const ListedArchive& archive, const std::string& selector, std::string& error) {
    uint64_t index = 0;
    if (ParseIndex(selector, index) && index < archive.Count()) return static_cast<uint32_t>(index);
    error = archive.display + ": no entry " + selector + ": the archive has " +
            CountOf(archive.Count(), "entry", "entries");
    if (archive.Count() != 0) error += " (0 to " + std::to_string(archive.Count() - 1) + ")";
    return kNoEntry;
}

// A listed name carries its entry's index, so only that entry can have it.
uint32_t FindByName(const ListedArchive& archive, const std::string& selector, std::string& error) {
    uint32_t index = 0;
    std::string_view component(selector);
    int32_t carried = ParseEntryIndex(component);
    index = static_cast<uint32_t>(carried);
    if (carried >= 0 && index < archive.Count()) {
        std::string name = archive.NameOf(index);
        if (name == selector || SameIgnoringCase(name, selector)) return index;
    }
    error = archive.display + ": no entry named '" + selector + "'";
    if (archive.Count() == 0) {
        error += ": the archive has no entries";
    } else {
        error += " (its entries are " + archive.NameOf(0);
        if (archive.Count() > 1) error += " to " + archive.NameOf(archive.Count() - 1);
        error += "; 'kova list " + archive.path + "' shows them all)";
    }
    return kNoEntry;
}

bool IsGlob(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

struct Range {
    uint64_t first = 0;
    uint64_t last = UINT64_MAX;
};

// "a-b" or "a-", digits only.
bool ParseRange(const std::string& text, Range& range) {
    size_t dash = text.find('-');
    if (dash == std::string::npos || dash == 0) return false;
    std::string first = text.substr(0, dash), last = text.substr(dash + 1);
    if (!IsAllDigits(first) || (!last.empty() && !IsAllDigits(last))) return false;
    if (!ParseIndex(first, range.first)) range.first = UINT64_MAX;
    if (!last.empty() && !ParseIndex(last, range.last)) range.last = UINT64_MAX;
    return true;
}

// One bracket expression at `p` (just past its '['): whether `c` is in it,
// and where the pattern goes on. False when there is no closing ']'.
bool MatchBracket(const std::string& pattern, size_t& p, char c, bool& matched) {
    size_t at = p;
    bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    if (negated) ++at;
    matched = false;
    bool first = true;
    while (at < pattern.size() && (pattern[at] != ']' || first)) {
        char low = LowerAscii(pattern[at]), high = low;
        if (at + 2 < pattern.size() && pattern[at + 1] == '-' && pattern[at + 2] != ']') {
            high = LowerAscii(pattern[at + 2]);
            at += 2;
        }
        char lowered = LowerAscii(c);
        if (lowered >= low && lowered <= high) matched = true;
        ++at;
        first = false;
    }
    if (at >= pattern.size()) return false;
    p = at + 1;
    if (negated) matched = !matched;
    return true;
}

}  // namespace

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool GlobMatches(const std::string& pattern, const std::string& name) {
    // Iterative, with one point to come back to at the last '*': linear in
    // practice and never exponential.
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
            continue;
        }
        if (p < pattern.size()) {
            size_t next = p + 1;
            bool matched = false;
            if (pattern[p] == '?') {
                matched = true;
            } else if (pattern[p] == '[' && MatchBracket(pattern, next = p + 1, name[n], matched)) {
                // next is past the bracket expression
            } else {
                next = p + 1;
                matched = LowerAscii(pattern[p]) == LowerAscii(name[n]);
            }
            if (matched) {
                p = next;
                ++n;
                continue;
            }
        }
        if (star == std::string::npos) return false;
        p = star + 1;
        n = ++resume;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool IsWellFormedSelector(const std::string& selector, std::string& error) {
    Range range;
    if (ParseRange(selector, range) && range.last < range.first) {
        error = "'" + selector + "' is not a range of entries: it ends before it starts";
        return false;
    }
    return true;
}

bool SelectByPatterns(const ListedArchive& archive, const std::vector<std::string>& selectors,
                      const std::vector<std::string>& kinds, std::vector<uint32_t>& chosen, std::string& error,
                      SelectionTally* tally) {
    chosen.clear();
    if (tally != nullptr) {
        tally->selector_matched.resize(selectors.size());
        tally->kind_matched.resize(kinds.size());
    }
    size_t current = 0;  // the selector being applied
    auto wanted_kind = [&](uint32_t index) {
        if (kinds.empty()) return true;
        const char* kind = KindName(archive.report.entries[index].kind);
        for (size_t k = 0; k < kinds.size(); ++k) {
            if (!SameIgnoringCase(kinds[k], kind)) continue;
            if (tally != nullptr) tally->kind_matched[k] = true;
            return true;
        }
        return false;
    };
    // Each entry once, in the order first chosen; a flag per entry keeps
    // that linear when every one of a large archive is chosen.
    std::vector<bool> taken(archive.Count());
    auto take = [&](uint32_t index) {
        if (!wanted_kind(index)) return;
        if (tally != nullptr && !selectors.empty()) tally->selector_matched[current] = true;
        if (taken[index]) return;
        taken[index] = true;
        chosen.push_back(index);
    };
    if (selectors.empty()) {
        for (uint32_t index = 0; index < archive.Count(); ++index) take(index);
        return true;
    }
    for (; current < selectors.size(); ++current) {
        const std::string& selector = selectors[current];
        Range range;
        if (IsAllDigits(selector)) {
            uint32_t index = FindByIndex(archive, selector, error);
            if (index == kNoEntry) return false;
            take(index);
        } else if (ParseRange(selector, range)) {
            uint64_t last = std::min<uint64_t>(range.last, uint64_t{archive.Count()} - 1);
            for (uint64_t index = range.first; archive.Count() != 0 && index <= last; ++index) {
                take(static_cast<uint32_t>(index));
            }
        } else if (IsGlob(selector)) {
            // A listed name may itself hold a glob character: it is then
            // taken as the name it is.
            std::string ignored;
            uint32_t named = FindByName(archive, selector, ignored);
            if (named != kNoEntry && archive.NameOf(named) == selector) {
                take(named);
                continue;
            }
            for (uint32_t index = 0; index < archive.Count(); ++index) {
                if (GlobMatches(selector, archive.NameOf(index))) take(index);
            }
        } else {
            uint32_t index = FindByName(archive, selector, error);
            if (index == kNoEntry) return false;
            take(index);
        }
    }
    return true;
}

void DropExcluded(const ListedArchive& archive, const std::vector<std::string>& exclusions,
                  std::vector<uint32_t>& chosen) {
    if (exclusions.empty()) return;
    auto excluded = [&](uint32_t index) {
        std::string name = archive.NameOf(index);
        for (const std::string& pattern : exclusions) {
            uint64_t number = 0;
            Range range;
            if (IsAllDigits(pattern)) {
                if (ParseIndex(pattern, number) && number == index) return true;
            } else if (ParseRange(pattern, range)) {
                if (index >= range.first && index <= range.last) return true;
            } else if (pattern == name || SameIgnoringCase(pattern, name) ||
                       (IsGlob(pattern) && GlobMatches(pattern, name))) {
                return true;
            }
        }
        return false;
    };
    chosen.erase(std::remove_if(chosen.begin(), chosen.end(), excluded), chosen.end());
}

bool ReportUnmatched(const std::vector<std::string>& selectors, const std::vector<std::string>& kinds,
                     const SelectionTally& tally, const std::function<void(const std::string&)>& report) {
    bool all = true;
    for (size_t k = 0; k < selectors.size(); ++k) {
        if (k < tally.selector_matched.size() && tally.selector_matched[k]) continue;
        report("'" + Printable(selectors[k]) + "' matched no entry");
        all = false;
    }
    for (size_t k = 0; k < kinds.size(); ++k) {
        if (k < tally.kind_matched.size() && tally.kind_matched[k]) continue;
        report("--type " + Printable(kinds[k]) + " matched no entry");
        all = false;
    }
    return all;
}

bool SelectEntries(const ListedArchive& archive, const std::vector<std::string>& selectors,
                   std::vector<uint32_t>& chosen, std::string& error) {
    chosen.clear();
    if (selectors.empty()) {
        for (uint32_t index = 0; index < archive.Count(); ++index) chosen.push_back(index);
        return true;
    }
    for (const std::string& selector : selectors) {
        uint32_t index = IsAllDigits(selector) ? FindByIndex(archive, selector, error) : FindByName(archive, selector, error);
        if (index == kNoEntry) return false;
        if (std::find(chosen.begin(), chosen.end(), index) == chosen.end()) chosen.push_back(index);
    }
    return true;
}

}  // namespace kova::cli
