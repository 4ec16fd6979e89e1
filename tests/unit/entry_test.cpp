// Entry typing and naming:
// ClassifyContent, SniffKind, FillEntryInfo, ParseEntryIndex.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "format/decimal.h"
#include "format/entry_kind.h"
#include "format/entry_name.h"
#include "plugin/host_path.h"
#include "plugin/entry_record.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

// `size` bytes of 0x00 with `text` written at each offset.
Bytes Content(std::initializer_list<std::pair<size_t, const char*>> parts, size_t size = 48) {
    Bytes out(size, 0);
    for (const auto& [offset, text] : parts) {
        size_t length = std::strlen(text);
        if (out.size() < offset + length) out.resize(offset + length);
        std::memcpy(out.data() + offset, text, length);
    }
    return out;
}

const Bytes kBitmap = Content({{0, "BM"}, {2, "garbage that is no bitmap"}});
const Bytes kWave = Content({{0, "RIFF"}, {4, "\x24\x08"}, {8, "WAVEfmt "}});
const Bytes kMidi = Content({{0, "MThd"}, {7, "\x06"}, {14, "MTrk"}});

struct KindCase {
    const char* name;
    Bytes content;
    EntryKind kind;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class Classify : public ::testing::TestWithParam<KindCase> {};

TEST_P(Classify, ContentGivesKind) { EXPECT_EQ(ClassifyContent(View(GetParam().content)), GetParam().kind); }

INSTANTIATE_TEST_SUITE_P(
    Entry, Classify,
    ::testing::Values(KindCase{"Bitmap", kBitmap, EntryKind::kBitmap},
                      KindCase{"BitmapTwoBytes", ToBytes("BM"), EntryKind::kBitmap},
                      KindCase{"BOnly", ToBytes("B"), EntryKind::kOther},
                      KindCase{"Bm", Content({{0, "Bm"}}), EntryKind::kOther},
                      KindCase{"Wave", kWave, EntryKind::kWave},
                      KindCase{"RiffWithoutWavefmt", Content({{0, "RIFF"}, {8, "AVI LIST"}}), EntryKind::kOther},
                      KindCase{"RiffWaveWithoutFmt", Content({{0, "RIFF"}, {8, "WAVEfmx"}}), EntryKind::kOther},
                      KindCase{"WavefmtAtNine", Content({{0, "RIFF"}, {9, "WAVEfmt"}}), EntryKind::kOther},
                      KindCase{"WavefmtWithoutRiff", Content({{0, "RIFX"}, {8, "WAVEfmt"}}), EntryKind::kOther},
                      KindCase{"RiffCutShort", ToBytes("RIFF\0\0\0\0WAVEfm"), EntryKind::kOther},
                      KindCase{"Midi", kMidi, EntryKind::kMidi},
                      KindCase{"MthdWithoutMtrk", Content({{0, "MThd"}}), EntryKind::kOther},
                      KindCase{"MthdWithMtrxAt14", Content({{0, "MThd"}, {14, "MTrx"}}), EntryKind::kOther},
                      KindCase{"MtrkAt15", Content({{0, "MThd"}, {15, "MTrk"}}), EntryKind::kOther},
                      KindCase{"MtrkWithoutMthd", Content({{0, "MThx"}, {14, "MTrk"}}), EntryKind::kOther},
                      KindCase{"Empty", Bytes{}, EntryKind::kOther}));

TEST(Entry, Extensions) {
    EXPECT_STREQ(ExtensionOf(EntryKind::kBitmap), "BMP");
    EXPECT_STREQ(ExtensionOf(EntryKind::kWave), "WAV");
    EXPECT_STREQ(ExtensionOf(EntryKind::kMidi), "MID");
    EXPECT_STREQ(ExtensionOf(EntryKind::kOther), "DAT");
}

// Filler commands that write nothing: long runs of count 0 (4 bytes) and long
// pair runs of count 0 (5 bytes).
Bytes Silent(size_t fours, size_t fives) {
    Bytes out;
    for (size_t k = 0; k < fours; ++k) Append(out, {0x7F, 0x00, 0x00, 0x00});
    for (size_t k = 0; k < fives; ++k) Append(out, {0xBF, 0x00, 0x00, 0x00, 0x00});
    return out;
}

struct SniffCase {
    const char* name;
    Bytes stored;
    EntryKind kind;
    bool coded;
};

void PrintTo(const SniffCase& c, std::ostream* os) { *os << c.name; }

class Sniff : public ::testing::TestWithParam<SniffCase> {};

TEST_P(Sniff, DecodesThenClassifies) {
    SniffResult got = SniffKind(View(GetParam().stored));
    EXPECT_EQ(got.kind, GetParam().kind);
    EXPECT_EQ(got.coded, GetParam().coded);
}

// A coded MIDI head whose 'k' of "MTrk" comes from a long run with its value
// byte at stored position 48: used only if it is the entry's own.
const Bytes kMidiValueAt48 = Concat({CodedEntry(1, 100, Concat({Bytes{0x11}, Content({{0, "MThd"}, {14, "MTr"}}, 17), Silent(3, 2)})), Bytes{0x7F, 0x01, 0x00, 'k'}});

INSTANTIATE_TEST_SUITE_P(
    Entry, Sniff,
    ::testing::Values(
        SniffCase{"StoredBitmap", kBitmap, EntryKind::kBitmap, false},
        SniffCase{"StoredWave", kWave, EntryKind::kWave, false},
        SniffCase{"StoredMidi", kMidi, EntryKind::kMidi, false},
        SniffCase{"StoredTwoBytes", ToBytes("BM"), EntryKind::kBitmap, false},
        SniffCase{"StoredOther", ToBytes("hello"), EntryKind::kOther, false},
        SniffCase{"Empty", Bytes{}, EntryKind::kOther, false},
        SniffCase{"CodedWave", CodedEntry(1, 44, Concat({Bytes{0x10}, Bytes(kWave.begin(), kWave.begin() + 16)})),
                  EntryKind::kWave, true},
        SniffCase{"CodedHighBitBitmap", CodedEntry(0x81, 9, {0x02, 'B', 'M'}), EntryKind::kBitmap, true},
        SniffCase{"CodedMidiFromRuns",
                  CodedEntry(0x82, 18, {0x04, 'M', 'T', 'h', 'd', 0x47, 0x00, 0x04, 'M', 'T', 'r', 'k'}),
                  EntryKind::kMidi, true},
        SniffCase{"CodedNothingDecoded", CodedEntry(2, 18, {0x00, 0x02, 'B', 'M'}), EntryKind::kOther, true},
        // Only the first 48 stored bytes are decoded.
        SniffCase{"BmInsideFirst48", Concat({CodedEntry(1, 2, Concat({Silent(10, 0), Bytes{0x02, 'B', 'M'}})), Bytes(20, 0)}),
                  EntryKind::kBitmap, true},
        SniffCase{"MPastFirst48", Concat({CodedEntry(1, 2, Concat({Silent(9, 1), Bytes{0x02, 'B', 'M'}})), Bytes(20, 0)}),
                  EntryKind::kOther, true},
        SniffCase{"LongRunValueAt48Own", kMidiValueAt48, EntryKind::kMidi, true},
        SniffCase{"LongRunValueAt48NotOwn", Bytes(kMidiValueAt48.begin(), kMidiValueAt48.begin() + 48),
                  EntryKind::kOther, true}));

TEST(Entry, MidiValueAt48FixtureIsWhatItClaims) {
    ASSERT_EQ(kMidiValueAt48.size(), 49u);
    EXPECT_EQ(kMidiValueAt48[45], 0x7F);
}

// Records start filled with 0xCC so that bytes FillEntryInfo must not write
// are seen to keep the caller's values.
EntryInfo Filled(const Bytes& stored, uint32_t stored_size, uint32_t data_offset, uint32_t index,
                 const char* base) {
    EntryInfo record;
    std::memset(&record, 0xCC, sizeof record);
    FillEntryInfo(record, IndexEntry{stored_size, data_offset}, View(stored), index, base);
    return record;
}

TEST(Entry, FillEntryInfoWritesEveryFieldItOwnsAndNothingElse) {
    EntryInfo r = Filled(kBitmap, 48, 0x1234, 7, "disk1");
    EXPECT_EQ(std::memcmp(r.method, "KOVA\0", 5), 0);
    for (int k = 5; k < 8; ++k) EXPECT_EQ(r.method[k], 0xCC) << "method byte " << k;
    EXPECT_EQ(r.position, 0x1234u);  // data_offset; the exports put the index there
    EXPECT_EQ(r.packed_size, 48u);
    EXPECT_EQ(r.unpacked_size, 48u);
    EXPECT_EQ(r.timestamp, 0);
    EXPECT_EQ(r.path[0], '\0');
    for (int k = 1; k < 200; ++k) ASSERT_EQ(static_cast<uint8_t>(r.path[k]), 0xCC) << "path byte " << k;
    EXPECT_STREQ(r.filename, "disk1_007.BMP");
    for (size_t k = std::strlen("disk1_007.BMP"); k < 200; ++k) ASSERT_EQ(r.filename[k], 0) << k;
    EXPECT_EQ(r.crc, 0u);
}

TEST(Entry, FillEntryInfoNames) {
    struct Case {
        const char* base;
        uint32_t index;
        const Bytes* stored;
        const char* name;
    };
    const Bytes other = ToBytes("plain data here");
    const std::string base31(31, 'b');
    const Case cases[] = {
        {"disk1", 7, &kBitmap, "disk1_007.BMP"}, {"", 0, &kBitmap, "_000.BMP"},
        {"", 1, &kWave, "_001.WAV"},             {"", 2, &kMidi, "_002.MID"},
        {"save", 42, &other, "save_042.DAT"},    {"x", 999, &other, "x_999.DAT"},
        {"x", 1000, &other, "x_1000.DAT"},       {"x", 1234, &kWave, "x_1234.WAV"},
        {"x", 123456789, &other, "x_123456789.DAT"},
    };
    for (const Case& c : cases) {
        EntryInfo r = Filled(*c.stored, static_cast<uint32_t>(c.stored->size()), 0, c.index, c.base);
        EXPECT_STREQ(r.filename, c.name);
        EXPECT_EQ(EntryIndexOfName(r.filename), static_cast<int32_t>(c.index)) << c.name;
    }
    EXPECT_EQ(std::string(Filled(kBitmap, 48, 0, 3, base31.c_str()).filename), base31 + "_003.BMP");
}

TEST(Entry, FillEntryInfoUnpackedSize) {
    struct Case {
        const char* name;
        Bytes stored;          // what the caller holds: the entry and maybe more
        uint32_t stored_size;  // the index record's
        uint32_t unpacked;
        EntryKind kind;
    };
    const Case cases[] = {
        // A coded entry's declared size stands even when the stream disagrees.
        {"CodedDeclared", CodedEntry(1, 1000, {0x02, 'B', 'M'}), 8, 1000, EntryKind::kBitmap},
        {"CodedHighBit", CodedEntry(0x82, 0x12345678, {0x00}), 6, 0x12345678, EntryKind::kOther},
        {"Stored", kBitmap, 48, 48, EntryKind::kBitmap},
        {"StoredSpanLonger", kWave, 20, 20, EntryKind::kWave},
        // Only the entry's own bytes count, missing ones read as 0.
        {"CodedShorterThan5", {0x01, 0x10, 0x20, 0x30, 0x40, 0x50}, 3, 0x2010, EntryKind::kOther},
        {"CodedMethodOnly", {0x02, 0xFF, 0xFF, 0xFF, 0xFF}, 1, 0, EntryKind::kOther},
        {"EmptyEntry", {0x01, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 0, EntryKind::kOther},
        {"ShortEntryOneByte", kBitmap, 1, 1, EntryKind::kOther},
        {"ShortEntryTwoBytes", kBitmap, 2, 2, EntryKind::kBitmap},
        {"ShortMidiWithoutItsMtrk", kMidi, 14, 14, EntryKind::kOther},
        {"CodedCutBeforeStream", CodedEntry(1, 50, {0x02, 'B', 'M'}), 6, 50, EntryKind::kOther},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EntryInfo r = Filled(c.stored, c.stored_size, 24, 0, "k");
        EXPECT_EQ(r.packed_size, c.stored_size);
        EXPECT_EQ(r.unpacked_size, c.unpacked);
        EXPECT_EQ(std::string(r.filename), std::string("k_000.") + ExtensionOf(c.kind));
    }
}

// Names are cut to the room given, never past it, whole or not.
TEST(Entry, FormatEntryNameCutsToItsRoom) {
    struct Case {
        size_t capacity;
        const char* base;
        uint32_t index;
        const char* expected;
    };
    const Case cases[] = {{64, "disk1", 7, "disk1_007.BMP"},  {64, "", 1234567, "_1234567.BMP"},
                          {14, "disk1", 7, "disk1_007.BMP"},  {13, "disk1", 7, "disk1_007.BM"},
                          {7, "disk1", 7, "disk1_"},          {1, "disk1", 7, ""},
                          {64, "d", 4294967295u, "d_4294967295.BMP"}, {64, "a", 0, "a_000.BMP"},
                          {64, "a", 100, "a_100.BMP"},        {64, "a", 10000, "a_10000.BMP"}};
    for (const Case& c : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        size_t length = FormatEntryName(out, c.capacity, c.base, c.index, "BMP");
        EXPECT_STREQ(out, c.expected) << c.capacity;
        EXPECT_EQ(length, std::strlen(c.expected)) << c.expected;
        if (c.capacity < sizeof out) {
            EXPECT_EQ(out[c.capacity], 'x') << "written past its room";
        }
    }
}

// Every count of digits a 64-bit value can have, at both of its ends.
TEST(Entry, DecimalDigitsAtEachLength) {
    std::vector<uint64_t> values = {0, UINT64_MAX};
    for (uint64_t power = 10; power <= UINT64_MAX / 10; power *= 10) values.insert(values.end(), {power - 1, power});
    values.insert(values.end(), {uint64_t{10000000000000000000u} - 1, 10000000000000000000u});
    for (uint64_t value : values) {
        char text[24];
        char* first = DecimalEndingAt(text + sizeof text, value);
        std::string expected = std::to_string(value);
        EXPECT_EQ(std::string(first, text + sizeof text), expected);
        EXPECT_EQ(DecimalLength(value), static_cast<int>(expected.size())) << expected;
    }
}

// Counting up carries into a new digit exactly where writing anew would.
TEST(Entry, DecimalCounterCountsAsWritingAnew) {
    for (uint32_t start : {0u, 8u, 98u, 999u, 99999u, 4294967290u}) {
        DecimalCounter counter;
        counter.Set(start);
        for (uint64_t value = start; value < uint64_t{start} + 12 && value <= UINT32_MAX; ++value, counter.Next()) {
            EXPECT_EQ(std::string(counter.Digits(), static_cast<size_t>(counter.length)), std::to_string(value));
        }
    }
}

TEST(Entry, ParseEntryIndex) {
    struct Case {
        std::string name;
        int32_t index;
    };
    const Case cases[] = {
        {"a_005.BMP", 5},        {"C:\\x\\save_012.WAV", 12}, {"dir\\12.DAT", 12},
        {"a_b_7.MID", 7},        {"x_.BMP", 0},               {"x_1a.BMP", -1},
        {"_3.X.Y", 3},           {"\\f_6.B", 6},              {"x_007", 7},  // no '.': the field ends with the name
        {"x_7a", -1},            {"", 0},                     {"x_", 0},
        {"a_1.b_2", 1},          {"a.b\\c_4.d", 4},           {"x_-1.BMP", -1},
        {"x_ 1.BMP", -1},        {"x_1 .BMP", -1},            {"anything_005.WAV", 5},
        {"x_4294967295.BMP", -1}, {"x_4294967296.BMP", 0},    {"x_2147483647.BMP", 2147483647},
        {"x_4294967294.BMP", -2},
        // The native build also splits on '/'.
        {"dir/x_5.BMP", 5},      {"a_1/7.BMP", 7},            {"a_1/x.BMP", -1},
        {"C:\\games/disk1_010.DAT", 10},
        // Cut to 255 characters, so the number field is cut too.
        {std::string(252, 'a') + "_123.BMP", 12},
        {std::string(251, 'a') + "_123.BMP", 123},
        {std::string(1000, 'a') + "_9.BMP", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EntryIndexOfName(c.name.c_str()), c.index) << '"' << c.name.substr(0, 40) << '"';
    }
}

// The one rule both disk output and kova extract keep names by.
TEST(Entry, StaysInsideDirectory) {
    struct Case {
        const char* name;
        const char* more;
        bool inside;
    };
    const Case cases[] = {
        {"x_000.BMP", "", true}, {"...", "", true},  {"C:x", "", true},   {"", "", false},
        {".", "", false},        {"..", "", false},  {"a/b", "", false},  {"a\\b", "", false},
        {"../x", "", false},     {"C:x", ":", false}, {"x_001.DAT", ":", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StaysInsideDirectory(c.name, c.more), c.inside) << '"' << c.name << "\" with \"" << c.more << '"';
    }
}

}  // namespace
}  // namespace kova::testing
