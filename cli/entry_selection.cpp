#include "cli/entry_selection.h"

#include <algorithm>
#include <cstdint>

#include "cli/messages.h"

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

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

const ListedEntry* FindByIndex(const ListedArchive& archive, const std::string& selector, std::string& error) {
    uint64_t index = 0;
    bool fits = ParseIndex(selector, index);
    if (fits) {
        for (const ListedEntry& entry : archive.entries) {
            if (entry.index == index) return &entry;
        }
    }
    error = archive.display + ": no entry " + selector + ": the archive has " +
            CountOf(archive.entries.size(), "entry", "entries");
    if (!archive.entries.empty()) {
        error += " (0 to " + std::to_string(archive.entries.size() - 1) + ")";
    }
    return nullptr;
}

const ListedEntry* FindByName(const ListedArchive& archive, const std::string& selector, std::string& error) {
    for (const ListedEntry& entry : archive.entries) {
        if (entry.name == selector) return &entry;
    }
    for (const ListedEntry& entry : archive.entries) {
        if (SameIgnoringCase(entry.name, selector)) return &entry;
    }
    error = archive.display + ": no entry named '" + selector + "'";
    if (archive.entries.empty()) {
        error += ": the archive has no entries";
    } else {
        error += " (its entries are " + archive.entries.front().name;
        if (archive.entries.size() > 1) error += " to " + archive.entries.back().name;
        error += "; 'kova list " + archive.path + "' shows them all)";
    }
    return nullptr;
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
                      const std::vector<std::string>& kinds, std::vector<const ListedEntry*>& chosen,
                      std::string& error) {
    chosen.clear();
    auto wanted_kind = [&](const ListedEntry& entry) {
        if (kinds.empty()) return true;
        return std::any_of(kinds.begin(), kinds.end(), [&](const std::string& kind) { return SameIgnoringCase(kind, entry.kind); });
    };
    // Each entry once, in the order first chosen; a flag per entry keeps
    // that linear when every one of a large archive is chosen.
    std::vector<bool> taken(archive.entries.size());
    auto take = [&](const ListedEntry& entry) {
        size_t at = static_cast<size_t>(&entry - archive.entries.data());
        if (!wanted_kind(entry) || taken[at]) return;
        taken[at] = true;
        chosen.push_back(&entry);
    };
    if (selectors.empty()) {
        for (const ListedEntry& entry : archive.entries) take(entry);
        return true;
    }
    for (const std::string& selector : selectors) {
        Range range;
        if (IsAllDigits(selector)) {
            const ListedEntry* entry = FindByIndex(archive, selector, error);
            if (entry == nullptr) return false;
            take(*entry);
        } else if (ParseRange(selector, range)) {
            for (const ListedEntry& entry : archive.entries) {
                if (entry.index >= range.first && entry.index <= range.last) take(entry);
            }
        } else if (IsGlob(selector)) {
            // A listed name may itself hold a glob character: it is then
            // taken as the name it is.
            bool named = false;
            for (const ListedEntry& entry : archive.entries) named |= entry.name == selector;
            for (const ListedEntry& entry : archive.entries) {
                if (named ? entry.name == selector : GlobMatches(selector, entry.name)) take(entry);
            }
        } else {
            const ListedEntry* entry = FindByName(archive, selector, error);
            if (entry == nullptr) return false;
            take(*entry);
        }
    }
    return true;
}

bool SelectEntries(const ListedArchive& archive, const std::vector<std::string>& selectors,
                   std::vector<const ListedEntry*>& chosen, std::string& error) {
    chosen.clear();
    if (selectors.empty()) {
        for (const ListedEntry& entry : archive.entries) chosen.push_back(&entry);
        return true;
    }
    for (const std::string& selector : selectors) {
        const ListedEntry* entry = IsAllDigits(selector) ? FindByIndex(archive, selector, error)
                                                         : FindByName(archive, selector, error);
        if (entry == nullptr) return false;
        if (std::find(chosen.begin(), chosen.end(), entry) == chosen.end()) chosen.push_back(entry);
    }
    return true;
}

}  // namespace kova::cli
