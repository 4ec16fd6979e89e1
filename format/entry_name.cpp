#include "format/entry_name.h"

#include <cstring>

#include "format/decimal.h"


namespace kova {

namespace {

// The number field runs from after the last '_' before the first '.' up to
// that '.', or to the end of a component that has none.
void FindNumberField(std::string_view component, size_t& field, size_t& end) {
    field = 0;
    end = 0;
    while (end < component.size() && component[end] != '\0' && component[end] != '.') {
        if (component[end] == '_') field = end + 1;
        ++end;
    }
}

}  // namespace

bool FindEntryIndex(std::string_view component, uint32_t& index) {
    size_t field, end;
    FindNumberField(component, field, end);
    if (end == field || end - field > 9) return false;
    int32_t value = ParseEntryIndex(component);
    if (value < 0) return false;
    index = static_cast<uint32_t>(value);
    return true;
}

int32_t ParseEntryIndex(std::string_view component) {
    size_t field, end;
    FindNumberField(component, field, end);
    uint32_t value = 0;
    for (size_t at = field; at < end; ++at) {
        if (component[at] < '0' || component[at] > '9') return -1;
        value = value * 10u + static_cast<uint32_t>(component[at] - '0');
    }
    return static_cast<int32_t>(value);
}

size_t FormatEntryName(char* out, size_t capacity, const char* base_name, uint32_t index,
                       const char* extension) {
    if (capacity == 0) return 0;
    // BASE_007.EXT, cut to the capacity; written by hand, as the formatted
    // printing functions would bring kilobytes of code into the plug-in.
    const char* base = base_name != nullptr ? base_name : "";
    const int count = DecimalLength(index);
    const size_t base_length = std::strlen(base), extension_length = std::strlen(extension);
    const size_t zeros = count < 3 ? static_cast<size_t>(3 - count) : 0;
    size_t at = 0;
    if (base_length + zeros + static_cast<size_t>(count) + extension_length + 2 < capacity) {
        // The whole name fits, as nearly every one does: whole pieces at a
        // time (a listing names a million entries).
        if (base_length != 0) std::memcpy(out, base, base_length);
        at = base_length;
        out[at++] = '_';
        for (size_t k = 0; k < zeros; ++k) out[at++] = '0';
        at += static_cast<size_t>(count);
        DecimalEndingAt(out + at, index);
        out[at++] = '.';
        for (size_t k = 0; k < extension_length; ++k) out[at++] = extension[k];
        out[at] = '\0';
        return at;
    }
    auto put = [&](char c) {
        if (at + 1 < capacity) out[at++] = c;
    };
    for (const char* c = base; *c != '\0'; ++c) put(*c);
    put('_');
    for (size_t k = 0; k < zeros; ++k) put('0');
    char digits[10];
    const char* first = DecimalEndingAt(digits + sizeof digits, index);
    for (int k = 0; k < count; ++k) put(first[k]);
    put('.');
    for (const char* c = extension; *c != '\0'; ++c) put(*c);
    out[at] = '\0';
    return at;
}

}  // namespace kova
