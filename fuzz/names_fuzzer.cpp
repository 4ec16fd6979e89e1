// Host paths and entry names of any length and content: the probe's base
// name, the names a listing builds from it, and lookups by arbitrary names.
//
// Input: the probe path, a zero byte, then the name looked up.
//
// Checked: no access outside any buffer (ASan); the base name is the path's
// by a plain reading of its rules (cut between characters) and every listed
// name is base_NNN.EXT; a lookup finds exactly the entry the name's number
// designates, or answers 2 (no number) or 3 (too large), judged by a plain
// reading of the naming rules; a probe with handle 0 answers no.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/workload.h"
#include "fuzz/export_checks.h"
#include "plugin/base_name.h"
#include "tests/support/archive_builder.h"
#include "tests/support/entry_encoder.h"

using namespace kova;
using namespace kova::fuzz;

namespace {

constexpr size_t kLongestName = 255;
constexpr size_t kLongestBaseName = 31;

const Bytes& Archive() {
    static const Bytes archive = kova::testing::BuildArchive(
        {workload::SampleBitmap(8, 2, 1), kova::testing::EncodeEntry(2, workload::SampleWave(40, 2)), Bytes{'x', 'y'}});
    return archive;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The index a name carries: the digits after the last '_' of its final
// component, up to the first '.' (or the end), in wrapping 32-bit arithmetic;
// -1 when any of them is not a digit. Names are cut to 255 characters.
int64_t IndexOf(std::string name) {
    if (name.size() > kLongestName) name.resize(kLongestName);
    size_t start = 0;
    for (size_t k = 0; k < name.size(); ++k) {
        if (IsSeparator(name[k])) start = k + 1;
    }
    std::string component = name.substr(start);
    component = component.substr(0, component.find('.'));
    size_t underscore = component.rfind('_');
    std::string digits = underscore == std::string::npos ? component : component.substr(underscore + 1);
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int32_t>(value);
}

// The base name a probe of `path` gives: the final component (a separator at
// the very first position does not count) up to its first '.' (nor does a
// dot there), of a path cut to 255 characters; cut to 31 bytes between UTF-8
// characters, never inside one.
// Keeps at most `limit` bytes of `text`, cut between UTF-8 characters.
void CutBetweenCharacters(std::string& text, size_t limit) {
    if (text.size() <= limit) return;
    size_t cut = limit;
    while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
}

std::string BaseNameFor(std::string path) {
    CutBetweenCharacters(path, kLongestName);
    size_t start = 0;
    for (size_t at = path.size(); at-- > 1;) {
        if (IsSeparator(path[at])) {
            start = at + 1;
            break;
        }
    }
    size_t end = path.find('.', std::max<size_t>(start, 1));
    std::string base = path.substr(start, (end == std::string::npos ? path.size() : end) - start);
    CutBetweenCharacters(base, kLongestBaseName);
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* split = static_cast<const char*>(std::memchr(text, 0, size));
    std::string path(text, split != nullptr ? split : text + size);
    std::string name;
    if (split != nullptr) {
        const char* rest = split + 1;
        size_t left = size - static_cast<size_t>(rest - text);
        name.assign(rest, strnlen(rest, left));
    }

    // Handle 0 is no handle: the probe answers no, reading nothing.
    if (IsSupported(path.c_str(), 0) != 0) Fail("a probe with handle 0 said yes");
    ResetBaseName(path.c_str());
    BaseName base = BaseNameOf(path.c_str());
    if (base.text != BaseNameFor(path)) Fail("base name differs from what the path gives");

    const Bytes& archive = Archive();
    const char* image = reinterpret_cast<const char*>(archive.data());
    LONG_PTR len = static_cast<LONG_PTR>(archive.size());
    Listing listing = List(image, len, 1);
    if (listing.result != 0 || listing.count() != 3) Fail("fixed archive does not list", listing.result);
    const char* extensions[3] = {"BMP", "WAV", "DAT"};
    for (uint32_t i = 0; i < 3; ++i) {
        char expected[sizeof(EntryInfo::filename)];
        std::snprintf(expected, sizeof expected, "%s_%03u.%s", base.text, i, extensions[i]);
        if (std::strcmp(listing.record(i).filename, expected) != 0) Fail("listed name", i);
    }

    Lookup lookup = LookUp(image, len, name.c_str(), 1);
    int64_t index = IndexOf(name);
    int expected_result = index == -1 ? 2 : (static_cast<uint32_t>(index) >= 3 ? 3 : 0);
    if (lookup.result != expected_result) Fail("lookup result", lookup.result);
    if (lookup.result == 0 && !SameRecord(lookup.record, listing.record(static_cast<size_t>(index)))) {
        Fail("lookup found another entry", index);
    }
    return 0;
}
