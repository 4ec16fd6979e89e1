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
    error = archive.path + ": no entry " + selector + ": the archive has " +
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
    error = archive.path + ": no entry named '" + selector + "'";
    if (archive.entries.empty()) {
        error += ": the archive has no entries";
    } else {
        error += " (its entries are " + archive.entries.front().name;
        if (archive.entries.size() > 1) error += " to " + archive.entries.back().name;
        error += "; 'kova list " + archive.path + "' shows them all)";
    }
    return nullptr;
}

}  // namespace

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
