// DecodeEntry, and why it says it stopped. Every output buffer
// sits inside a larger one filled with a sentinel, so a byte written at or
// past the capacity is caught, and untouched output bytes are visible.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/decoder.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

constexpr uint8_t kSentinel = 0xEE;
constexpr size_t kGuard = 16;

struct Decoded {
    Bytes out;  // the `capacity` output bytes, sentinel where never written
    bool coded;
};

Decoded Decode(const Bytes& stored, size_t n, size_t capacity) {
    Bytes buffer(capacity + kGuard, kSentinel);
    DecodeResult result = DecodeEntry(View(stored), n, MutableByteSpan(buffer.data(), capacity));
    for (size_t k = capacity; k < buffer.size(); ++k) {
        EXPECT_EQ(buffer[k], kSentinel) << "byte written past the capacity, at " << k;
    }
    buffer.resize(capacity);
    return {buffer, result.coded};
}

Decoded Decode(const Bytes& stored, size_t capacity) { return Decode(stored, stored.size(), capacity); }

// What a decode of `capacity` bytes that wrote exactly `written` looks like.
Bytes Expect(Bytes written, size_t capacity) {
    written.resize(capacity, kSentinel);
    return written;
}

Bytes Repeat(const std::string& unit, size_t times) {
    Bytes out;
    for (size_t k = 0; k < times; ++k) Append(out, ToBytes(unit));
    return out;
}

// Content as a chain of literal commands of at most 63 bytes.
Bytes Literals(const Bytes& content) {
    Bytes commands;
    for (size_t at = 0; at < content.size(); at += 63) {
        size_t count = std::min<size_t>(63, content.size() - at);
        commands.push_back(static_cast<uint8_t>(count));
        Append(commands, Bytes(content.begin() + at, content.begin() + at + count));
    }
    return commands;
}

// Bytes with no short period, so a copy from a wrong distance shows.
Bytes Noise(size_t size) {
    Bytes out(size);
    uint32_t state = 12345;
    for (uint8_t& b : out) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return out;
}

struct StreamCase {
    const char* name;
    Bytes commands;  // after the five head bytes of method 1
    size_t capacity;
    Bytes expected;  // bytes written from the start; the rest stays untouched
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class Commands : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Commands, WriteWhatTheirControlByteSays) {
    const StreamCase& c = GetParam();
    Decoded d = Decode(CodedEntry(1, 0, c.commands), c.capacity);
    EXPECT_TRUE(d.coded);
    EXPECT_EQ(d.out, Expect(c.expected, c.capacity));
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, Commands,
    ::testing::Values(
        StreamCase{"DocumentedExample",
                   {0x03, 0x61, 0x62, 0x63, 0x41, 0x78, 0x80, 0x70, 0x71, 0x7F, 0x05, 0x00, 0x7A,
                    0xBF, 0x03, 0x00, 0x6D, 0x6E, 0x00},
                   30,
                   Concat({ToBytes("abc"), Repeat("x", 4), Repeat("pq", 2), Repeat("z", 5), Repeat("mn", 3)})},
        StreamCase{"EndStopsEverything", {0x02, 'a', 'b', 0x00, 0x02, 'c', 'd'}, 8, ToBytes("ab")},
        StreamCase{"LiteralOne", {0x01, 'a', 0x00}, 4, ToBytes("a")},
        StreamCase{"LiteralSixtyThree", Concat({Bytes{0x3F}, Repeat("0123456", 9)}), 70, Repeat("0123456", 9)},
        StreamCase{"ByteRunShortest", {0x40, 'v', 0x00}, 8, Repeat("v", 3)},
        StreamCase{"ByteRunLongest", {0x7E, 'v', 0x00}, 70, Repeat("v", 65)},
        StreamCase{"LongByteRun256", {0x7F, 0x00, 0x01, 'v', 0x00}, 300, Repeat("v", 256)},
        StreamCase{"LongByteRunZeroConsumesValue", {0x7F, 0x00, 0x00, 'v', 0x01, 'z'}, 4, ToBytes("z")},
        StreamCase{"PairRunShortest", {0x80, 'a', 'b', 0x00}, 8, Repeat("ab", 2)},
        StreamCase{"PairRunLongest", {0xBE, 'a', 'b', 0x00}, 140, Repeat("ab", 64)},
        StreamCase{"LongPairRun", {0xBF, 0x2C, 0x01, 'a', 'b'}, 610, Repeat("ab", 300)},
        StreamCase{"LongPairRunZeroConsumesPair", {0xBF, 0x00, 0x00, 'a', 'b', 0x01, 'z'}, 4,
                   ToBytes("z")},
        // Capacity stops, one per command: nothing at or past m is written and
        // the commands that follow do not run.
        StreamCase{"CapacityLiteral", {0x05, 'a', 'b', 'c', 'd', 'e', 0x01, 'z'}, 3, ToBytes("abc")},
        StreamCase{"CapacityExactThenNothing", {0x03, 'a', 'b', 'c', 0x02, 'd', 'e'}, 3, ToBytes("abc")},
        StreamCase{"CapacityByteRun", {0x44, 'v', 0x01, 'z'}, 4, Repeat("v", 4)},
        StreamCase{"CapacityLongByteRun", {0x7F, 0x10, 0x00, 'v', 0x01, 'z'}, 5, Repeat("v", 5)},
        StreamCase{"CapacityPairRunMidPair", {0x82, 'a', 'b', 0x01, 'z'}, 5, ToBytes("ababa")},
        StreamCase{"CapacityPairRunOne", {0x80, 'a', 'b'}, 1, ToBytes("a")},
        StreamCase{"CapacityLongPairRun", {0xBF, 0x04, 0x00, 'a', 'b', 0x01, 'z'}, 3, ToBytes("aba")},
        StreamCase{"CapacityAfterRunStopsLiteral", {0x41, 'v', 0x03, 'a', 'b', 'c'}, 6,
                   ToBytes("vvvvab")}));

// Streams that end early, after a 20-byte literal prefix (method 2, so a back
// copy from 17 bytes back is inside the output): each tail's command either
// completes with the operands that exist or is dropped, and decoding stops.
struct EarlyEndCase {
    const char* name;
    Bytes tail;
    Bytes extra;  // written after the prefix
};

void PrintTo(const EarlyEndCase& c, std::ostream* os) { *os << c.name; }

class EarlyEnd : public ::testing::TestWithParam<EarlyEndCase> {};

TEST_P(EarlyEnd, StopsWithWhatWasWritten) {
    const EarlyEndCase& c = GetParam();
    Bytes prefix = ToBytes("ABCDEFGHIJKLMNOPQRST");
    Decoded d = Decode(CodedEntry(2, 0, Concat({Literals(prefix), c.tail})), 100);
    EXPECT_EQ(d.out, Expect(Concat({prefix, c.extra}), 100));
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, EarlyEnd,
    ::testing::Values(EarlyEndCase{"ControlLastLiteral", {0x03}, {}},
                      EarlyEndCase{"ControlLastByteRun", {0x41}, {}},
                      EarlyEndCase{"ControlLastLongByteRun", {0x7F}, {}},
                      EarlyEndCase{"ControlLastPairRun", {0x80}, {}},
                      EarlyEndCase{"ControlLastLongPairRun", {0xBF}, {}},
                      EarlyEndCase{"ControlLastBackCopy", {0xC0}, {}},
                      EarlyEndCase{"LiteralRunsPastInput", {0x05, 'a', 'b'}, ToBytes("ab")},
                      EarlyEndCase{"LiteralEndsAtInputEnd", {0x02, 'a', 'b'}, ToBytes("ab")},
                      EarlyEndCase{"ByteRunOperandLast", {0x41, 'v'}, Repeat("v", 4)},
                      EarlyEndCase{"LongByteRunOneCountByte", {0x7F, 0x05}, {}},
                      // The value byte would lie at n = stored size: not ours.
                      EarlyEndCase{"LongByteRunValueMissing", {0x7F, 0x05, 0x00}, {}},
                      EarlyEndCase{"PairRunSecondByteMissing", {0x80, 'a'}, {}},
                      EarlyEndCase{"PairRunOperandsLast", {0x80, 'a', 'b'}, ToBytes("abab")},
                      EarlyEndCase{"LongPairRunOneCountByte", {0xBF, 0x02}, {}},
                      EarlyEndCase{"LongPairRunPairMissing", {0xBF, 0x02, 0x00}, {}},
                      EarlyEndCase{"LongPairRunSecondByteMissing", {0xBF, 0x02, 0x00, 'a'}, {}},
                      EarlyEndCase{"BackCopyParameterLast", {0xC0, 0x3F}, {}},
                      EarlyEndCase{"BackCopyParameterNotLast", {0xC0, 0x3F, 0x00}, ToBytes("DEF")}));

TEST(Decoder, InputLengthCutsTheStreamNotTheBuffer) {
    Bytes stored = CodedEntry(1, 0, {0x06, 'a', 'b', 'c', 'd', 'e', 'f'});
    EXPECT_EQ(Decode(stored, 9, 10).out, Expect(ToBytes("abc"), 10));
    EXPECT_EQ(Decode(stored, 5, 10).out, Expect({}, 10));
    // An input length past the stored bytes is cut to them.
    EXPECT_EQ(Decode(stored, 1000, 10).out, Expect(ToBytes("abcdef"), 10));
}

// A long run whose value byte lies at position n uses it only when
// it is still one of the stored bytes given.
TEST(Decoder, LongByteRunValueAtInputLength) {
    Bytes stored = CodedEntry(1, 0, {0x7F, 0x03, 0x00, 'v'});
    EXPECT_EQ(Decode(stored, stored.size() - 1, 8).out, Expect(Repeat("v", 3), 8));
    Bytes cut(stored.begin(), stored.end() - 1);
    EXPECT_EQ(Decode(cut, cut.size(), 8).out, Expect({}, 8));
}

// Back copies start at p - row[d >> 6] + (d & 0x3F), for both rows, every row
// index and the smallest and largest adjustments; bit 7 of the method changes
// nothing.
TEST(Decoder, BackCopyDistances) {
    struct Row {
        uint8_t method;
        uint32_t distances[4];
    };
    const Row rows[] = {{0x01, {320, 640, 1280, 2560}}, {0x81, {320, 640, 1280, 2560}},
                        {0x02, {80, 160, 320, 640}},    {0x82, {80, 160, 320, 640}}};
    const Bytes content = Noise(2600);
    for (const Row& row : rows) {
        for (uint8_t top = 0; top < 4; ++top) {
            for (uint8_t adjust : {0x00, 0x05, 0x3F}) {
                for (uint8_t control : {0xC0, 0xFF}) {  // 3 and 66 bytes
                    uint8_t d = static_cast<uint8_t>(top << 6 | adjust);
                    SCOPED_TRACE(::testing::Message() << "method " << int(row.method) << " d "
                                                      << int(d) << " c " << int(control));
                    Bytes expected = content;
                    size_t from = content.size() - row.distances[top] + adjust;
                    for (int k = 0; k < control - 189; ++k) expected.push_back(expected[from + k]);
                    Bytes stored = CodedEntry(row.method, 0, Concat({Literals(content), Bytes{control, d}}));
                    stored.push_back(0x00);  // so the parameter is not the last byte
                    Decoded got = Decode(stored, expected.size() + 10);
                    EXPECT_TRUE(got.coded);
                    EXPECT_EQ(got.out, Expect(expected, expected.size() + 10));
                }
            }
        }
    }
}

TEST(Decoder, BackCopyDocumentedExample) {
    // Method 2, parameter 0x45 at output position 189 copies from 34.
    Bytes content = Noise(189);
    Bytes stored = CodedEntry(2, 0, Concat({Literals(content), Bytes{0xC0, 0x45, 0x00}}));
    Bytes expected = Concat({content, Bytes{content[34], content[35], content[36]}});
    EXPECT_EQ(Decode(stored, 200).out, Expect(expected, 200));
}

TEST(Decoder, OverlappingBackCopyRepeatsTheSource) {
    // Distance 17 (80 - 63), 66 bytes: the 17 bytes repeat.
    Bytes unit = ToBytes("0123456789abcdefg");
    Bytes stored = CodedEntry(2, 0, Concat({Literals(unit), Bytes{0xFF, 0x3F, 0x00}}));
    Bytes expected = unit;
    for (int k = 0; k < 66; ++k) expected.push_back(unit[k % 17]);
    EXPECT_EQ(Decode(stored, 90).out, Expect(expected, 90));
}

TEST(Decoder, BackCopyStopsAtCapacity) {
    Bytes unit = ToBytes("0123456789abcdefg");
    Bytes stored = CodedEntry(2, 0, Concat({Literals(unit), Bytes{0xFF, 0x3F, 0x01, 'z'}}));
    Bytes expected = unit;
    for (int k = 0; k < 23; ++k) expected.push_back(unit[k % 17]);
    EXPECT_EQ(Decode(stored, 40).out, expected);
    EXPECT_EQ(Decode(stored, 19).out, ToBytes("0123456789abcdefg01"));
}

// A back copy whose source lies before the output start ends
// decoding; nothing of it is copied and nothing after it runs.
TEST(Decoder, BackCopyBeforeOutputStartEndsDecoding) {
    struct Case {
        uint8_t method;
        size_t before;  // output bytes written before the copy
        uint8_t d;
        bool copies;
    };
    const Case cases[] = {{2, 16, 0x3F, false}, {2, 17, 0x3F, true},   {2, 79, 0x00, false},
                          {2, 80, 0x00, true},  {2, 0, 0xFF, false},   {1, 256, 0x3F, false},
                          {1, 257, 0x3F, true}, {1, 2559, 0xC0, false}, {1, 2560, 0xC0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "method " << int(c.method) << " p " << c.before
                                          << " d " << int(c.d));
        Bytes content = Noise(c.before);
        Bytes stored = CodedEntry(c.method, 0, Concat({Literals(content), Bytes{0xC0, c.d, 0x01, 'Z'}}));
        Decoded got = Decode(stored, c.before + 10);
        ASSERT_EQ(Bytes(got.out.begin(), got.out.begin() + c.before), content);
        if (c.copies) {
            EXPECT_EQ(got.out[c.before + 3], 'Z');  // copied 3 bytes, then went on
        } else {
            EXPECT_EQ(Bytes(got.out.begin() + c.before, got.out.end()), Bytes(10, kSentinel));
        }
    }
}

TEST(Decoder, MethodBitsDecideCodedOrStored) {
    struct Case {
        uint8_t method;
        bool coded;
    };
    const Case cases[] = {{0x01, true},  {0x02, true},  {0x81, true},  {0x82, true},
                          {0x00, false}, {0x03, false}, {0x42, false}, {0x52, false},
                          {0x7F, false}, {0x80, false}, {0x83, false}, {0xFF, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "method " << int(c.method));
        Bytes stored = {c.method, 0x10, 0, 0, 0, 0x03, 'a', 'b', 'c'};
        EXPECT_EQ(IsCodedMethod(c.method), c.coded);
        Decoded got = Decode(stored, 12);
        EXPECT_EQ(got.coded, c.coded);
        EXPECT_EQ(got.out, Expect(c.coded ? ToBytes("abc") : stored, 12));
        // The indication comes from the method byte alone, even with no room.
        EXPECT_EQ(DecodeEntry(View(stored), stored.size(), MutableByteSpan()).coded, c.coded);
    }
}

TEST(Decoder, StoredCopiesMinOfInputAndCapacity) {
    struct Case {
        size_t n, m, copied;
    };
    const Bytes stored = ToBytes("BM34567890");
    for (const Case& c : {Case{10, 10, 10}, Case{10, 4, 4}, Case{3, 10, 3}, Case{100, 20, 10},
                          Case{0, 10, 0}}) {
        SCOPED_TRACE(::testing::Message() << "n " << c.n << " m " << c.m);
        Decoded got = Decode(stored, c.n, c.m);
        EXPECT_FALSE(got.coded);
        EXPECT_EQ(got.out, Expect(Bytes(stored.begin(), stored.begin() + c.copied), c.m));
    }
    Decoded empty = Decode(Bytes{}, 0, 8);
    EXPECT_FALSE(empty.coded);
    EXPECT_EQ(empty.out, Expect({}, 8));
}

TEST(Decoder, CodedEntryShorterThanItsHeadWritesNothing) {
    const Bytes full = {0x01, 0x05, 0x00, 0x00, 0x00, 0x02};
    for (size_t size = 1; size <= full.size(); ++size) {
        Decoded got = Decode(Bytes(full.begin(), full.begin() + size), 8);
        EXPECT_TRUE(got.coded);
        EXPECT_EQ(got.out, Expect({}, 8)) << "size " << size;
    }
}

// Why decoding stopped and how much input it used: what a writer checks its
// streams by, and an integrity walk reports.
TEST(Decoder, ReportsWhyItStoppedAndTheInputItUsed) {
    struct Case {
        const char* name;
        Bytes stored;
        size_t n, capacity;
        DecodeStop stop;
        size_t used, written;
    };
    const Bytes abc = CodedEntry(1, 3, {0x03, 'a', 'b', 'c', 0x00});  // 10 bytes
    const Case cases[] = {
        {"end command", abc, 10, 8, DecodeStop::kEndCommand, 10, 3},
        {"end command last of a full output", abc, 10, 3, DecodeStop::kOutputFull, 9, 3},
        {"input cut inside a literal", abc, 7, 8, DecodeStop::kInputExhausted, 7, 1},
        {"control byte with nothing after it", CodedEntry(1, 3, {0x02, 'a', 'b', 0x41}), 9, 8,
         DecodeStop::kInputExhausted, 9, 2},
        {"output full", CodedEntry(1, 9, {0x43, 'x', 0x00}), 8, 4, DecodeStop::kOutputFull, 7, 4},
        {"back copy before the start", CodedEntry(2, 9, {0x01, 'a', 0xC0, 0x3F, 0x00}), 10, 8,
         DecodeStop::kCopyBeforeStart, 9, 1},
        {"long run's value one of the entry's own bytes", CodedEntry(1, 4, {0x7F, 0x04, 0x00, 'v'}), 8, 8,
         DecodeStop::kInputExhausted, 9, 4},
        {"head only", CodedEntry(1, 3, {}), 5, 8, DecodeStop::kInputExhausted, 5, 0},
        {"no room at all", abc, 10, 0, DecodeStop::kOutputFull, 5, 0},
        {"stored, all of it", ToBytes("BM1234"), 6, 8, DecodeStop::kInputExhausted, 6, 6},
        {"stored, output full", ToBytes("BM1234"), 6, 4, DecodeStop::kOutputFull, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out(c.capacity);
        DecodeResult got = DecodeEntry(View(c.stored), c.n, MutableByteSpan(out.data(), out.size()));
        EXPECT_EQ(got.stop, c.stop);
        EXPECT_EQ(got.input_used, c.used);
        EXPECT_EQ(got.written, c.written);
    }
}

// The block-moving loop writes a short command's 32 bytes whatever its count
// and puts back what it wrote past the last byte once decoding stops: a stop
// by the end command or by a copy from before the start, right after short
// commands of every kind (and a few in a row, each spilling past the one
// before), in a buffer with far more room than the loop needs, leaves every
// byte past the last written as the caller had it.
TEST(Decoder, StopInsideTheFastLoopLeavesTheRestUntouched) {
    const Bytes prefix = Literals(Noise(200));  // 200 bytes, so copies 80 to 160 back reach
    struct Case {
        const char* name;
        Bytes tail;      // the commands after the prefix, before the stop
        Bytes written;   // what they write
    };
    const Bytes noise = Noise(200);
    auto from = [&](size_t back, size_t count) {
        Bytes out;
        for (size_t k = 0; k < count; ++k) out.push_back(noise[200 - back + k]);
        return out;
    };
    const Case cases[] = {
        {"literal of 1", {0x01, 'a'}, ToBytes("a")},
        {"literal of 33", Concat({Bytes{33}, Bytes(33, 'b')}), Bytes(33, 'b')},
        {"copy of 3", {0xC0, 0x00}, from(80, 3)},
        {"byte run of 3", {0x40, 'c'}, Bytes(3, 'c')},
        {"pair run of 4", {0x80, 'd', 'e'}, ToBytes("dede")},
        {"three short ones", {0x01, 'f', 0x40, 'g', 0x02, 'h', 'i'}, ToBytes("fggghi")},
        {"long run of 5", {0x7F, 5, 0, 'j'}, Bytes(5, 'j')},
    };
    for (const Case& c : cases) {
        for (Bytes stop : {Bytes{0x00}, Bytes{0xC3, 0xC0}}) {  // the end command; a copy 640 back
            SCOPED_TRACE(::testing::Message() << c.name << (stop.size() == 1 ? ", end command" : ", copy before start"));
            // Operands after the stop keep the input margin of the fast loop.
            Bytes stored = CodedEntry(2, 0, Concat({prefix, c.tail, stop, Bytes(80, 0x01)}));
            Decoded got = Decode(stored, 1000);
            Bytes expected = Concat({noise, c.written});
            ASSERT_EQ(got.out, Expect(expected, 1000));
        }
    }
}

}  // namespace
}  // namespace kova::testing
