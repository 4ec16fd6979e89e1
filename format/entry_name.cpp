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

size_t FormatEntrySuffix(char* out, const char* digits, size_t count, const char* extension) {
    size_t at = 0;
    out[at++] = '_';
    for (size_t k = count; k < 3; ++k) out[at++] = '0';
    std::memcpy(out + at, digits, count);
    at += count;
    out[at++] = '.';
    for (const char* c = extension; *c != '\0'; ++c) out[at++] = *c;
    return at;
}

size_t FormatEntryName(char* out, size_t capacity, const char* base_name, uint32_t index,
                       const char* extension) {
    if (capacity == 0) return 0;
    // BASE_007.EXT, cut to the capacity; written by hand, as the formatted
    // printing functions would bring kilobytes of code into the plug-in.
    const char* base = base_name != nullptr ? base_name : "";
    char digits[10];
    const char* first = DecimalEndingAt(digits + sizeof digits, index);
    const size_t count = static_cast<size_t>(digits + sizeof digits - first);
    const size_t base_length = std::strlen(base), extension_length = std::strlen(extension);
    const size_t zeros = count < 3 ? 3 - count : 0;
    if (base_length + zeros + count + extension_length + 2 < capacity) {
        // The whole name fits, as nearly every one does: whole pieces at a
        // time.
        if (base_length != 0) std::memcpy(out, base, base_length);
        size_t at = base_length + FormatEntrySuffix(out + base_length, first, count, extension);
        out[at] = '\0';
        return at;
    }
    size_t at = 0;
    auto put = [&](char c) {
        if (at + 1 < capacity) out[at++] = c;
    };
    for (const char* c = base; *c != '\0'; ++c) put(*c);
    put('_');
    for (size_t k = 0; k < zeros; ++k) put('0');
    for (size_t k = 0; k < count; ++k) put(first[k]);
    put('.');
    for (const char* c = extension; *c != '\0'; ++c) put(*c);
    out[at] = '\0';
    return at;
}

}  // namespace kova
