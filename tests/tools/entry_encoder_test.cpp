// The encoder is only right if the module's decoder gives back exactly what
// went in, so every test here is a round trip through DecodeEntry.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "format/decoder.h"
#include "format/fast_parse.h"
#include "format/optimal_parse.h"
#include "tests/support/entry_encoder.h"
#include "tests/support/greedy_reference.h"
#include "tests/support/workload.h"

namespace kova::testing {
namespace {

Bytes Decode(const Bytes& stored, size_t capacity) {
    Bytes out(capacity, 0xEE);
    DecodeResult result = DecodeEntry(ByteSpan(stored.data(), stored.size()), stored.size(),
                                      MutableByteSpan(out.data(), out.size()));
    EXPECT_EQ(result.written, capacity) << "the stream must fill the content exactly";
    // Never by running out of input: a stream that did would be cut short
    // by any damage at its end unnoticed.
    if (capacity > 0) {
        EXPECT_NE(result.stop, DecodeStop::kInputExhausted);
    }
    return out;
}

// Deterministic noise: the same bytes on every machine and every run.
struct Noise {
    uint32_t state;
    uint8_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<uint8_t>(state >> 24);
    }
};

Bytes Random(size_t size, uint32_t seed) {
    Noise noise{seed};
    Bytes out(size);
    for (uint8_t& byte : out) byte = noise.Next();
    return out;
}

Bytes Repeat(const Bytes& unit, size_t times) {
    Bytes out;
    for (size_t k = 0; k < times; ++k) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Random blocks, each followed by a repeat of itself `distance` bytes back.
Bytes Echoes(size_t distance, size_t blocks, uint32_t seed) {
    Bytes out;
    for (size_t k = 0; k < blocks; ++k) {
        Bytes block = Random(distance, seed + static_cast<uint32_t>(k));
        out.insert(out.end(), block.begin(), block.end());
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

struct RoundTripCase {
    std::string name;
    Bytes content;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

std::vector<RoundTripCase> RoundTripCases() {
    return {
        {"empty", {}},
        {"one_byte", {0x41}},
        {"two_bytes", {0x01, 0x02}},
        {"text", ToBytes("the quick brown fox jumps over the lazy dog, the quick brown fox again")},
        {"run_of_3", Bytes(3, 0x55)},
        {"run_of_65", Bytes(65, 0x55)},
        {"run_of_66", Bytes(66, 0x55)},
        {"run_of_68", Bytes(68, 0x55)},
        {"run_of_65535", Bytes(65535, 0x00)},
        {"run_of_65536", Bytes(65536, 0xFF)},
        {"run_of_200000", Bytes(200000, 0x7F)},
        {"pairs_2", Repeat({0x12, 0x34}, 2)},
        {"pairs_64", Repeat({0x12, 0x34}, 64)},
        {"pairs_65", Repeat({0x12, 0x34}, 65)},
        {"pairs_66", Repeat({0x12, 0x34}, 66)},
        {"pairs_70000", Repeat({0x00, 0x10}, 70000)},
        {"pairs_then_odd_byte", Concat({Repeat({0xAB, 0xCD}, 10), {0xAB}})},
        {"period_3_overlapping_copy", Repeat({1, 2, 3}, 400)},
        {"echo_at_17", Echoes(17, 20, 1)},
        {"echo_at_80", Echoes(80, 20, 2)},
        {"echo_at_257", Echoes(257, 8, 3)},
        {"echo_at_320", Echoes(320, 8, 4)},
        {"echo_at_2497", Echoes(2497, 3, 5)},
        {"echo_at_2560", Echoes(2560, 3, 6)},
        {"echo_beyond_reach_2561", Echoes(2561, 3, 7)},
        {"random_small", Random(100, 11)},
        {"random_large", Random(40000, 12)},
        {"random_then_runs", Concat({Random(500, 13), Bytes(300, 0), Random(63, 14), Bytes(64, 9), Random(1, 15)})},
        {"control_like_bytes", Repeat({0x00, 0x3F, 0x40, 0x7E, 0x7F, 0x80, 0xBE, 0xBF, 0xC0, 0xFF}, 50)},
    };
}

class EncoderRoundTrip : public ::testing::TestWithParam<std::tuple<uint8_t, EncoderStrength, RoundTripCase>> {};

TEST_P(EncoderRoundTrip, DecodesToTheContent) {
    auto [method, strength, sample] = GetParam();
    Bytes stored = EncodeEntry(method, sample.content, nullptr, strength);
    ASSERT_GE(stored.size(), 5u);
    EXPECT_EQ(stored[0], method);
    EXPECT_EQ(GetLe32(stored, 1), sample.content.size()) << "the declared size is the content's";
    EXPECT_EQ(Decode(stored, sample.content.size()), sample.content);
    if (strength == EncoderStrength::kBest) {
        EXPECT_LE(stored.size(), EncodeEntry(method, sample.content).size()) << "the best is never longer";
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllMethods, EncoderRoundTrip,
    ::testing::Combine(::testing::Values(uint8_t{1}, uint8_t{0x82}),
                       ::testing::Values(EncoderStrength::kDefault, EncoderStrength::kBest),
                       ::testing::ValuesIn(RoundTripCases())),
    [](const auto& info) {
        return "method_" + std::to_string(std::get<0>(info.param)) +
               (std::get<1>(info.param) == EncoderStrength::kBest ? "_best_" : "_default_") +
               std::get<2>(info.param).name;
    });

// Every plan covers the content exactly: no command may stand for bytes
// past its end (a decoder stops at the declared size, so a round trip alone
// would not show it; the stream would carry bytes from beyond the input).
TEST(EncoderPlans, CoverExactlyTheContent) {
    for (size_t size = 1; size < 1500; size += 7) {
        Bytes noise = Random(size, static_cast<uint32_t>(size));
        ByteSpan content(noise.data(), noise.size());
        for (uint8_t method : {uint8_t{1}, uint8_t{2}}) {
            for (const auto& plan : {PlanQuickStream(content, method), PlanShortestStream(content, method)}) {
                size_t covered = 0;
                for (const Command& command : plan) covered += command.covered;
                ASSERT_EQ(covered, size) << "method " << int{method};
            }
        }
    }
}

// Many random shapes: short random stretches, runs, pairs and echoes mixed
// at random, so commands meet each other in every order.
TEST(EncoderRoundTripMixed, RandomMixturesDecodeExactly) {
    Noise noise{0xC0FFEE};
    for (int trial = 0; trial < 200; ++trial) {
        Bytes content;
        int pieces = 1 + noise.Next() % 12;
        for (int k = 0; k < pieces; ++k) {
            size_t length = 1 + noise.Next() % 90 + (noise.Next() % 4 == 0 ? noise.Next() * 4 : 0);
            switch (noise.Next() % 4) {
            case 0:
                for (size_t j = 0; j < length; ++j) content.push_back(noise.Next());
                break;
            case 1:
                content.insert(content.end(), length, noise.Next());
                break;
            case 2: {
                uint8_t a = noise.Next(), b = noise.Next();
                for (size_t j = 0; j < length; ++j) content.insert(content.end(), {a, b});
                break;
            }
            default: {
                size_t back = std::min(content.size(), size_t{17} + noise.Next() * 10);
                for (size_t j = 0; j < length && back > 0; ++j) content.push_back(content[content.size() - back]);
                break;
            }
            }
        }
        for (uint8_t method : {uint8_t{1}, uint8_t{2}}) {
            for (EncoderStrength strength : {EncoderStrength::kDefault, EncoderStrength::kBest}) {
                Bytes stored = EncodeEntry(method, content, nullptr, strength);
                ASSERT_EQ(Decode(stored, content.size()), content) << "trial " << trial << ", method " << int{method};
                ASSERT_LE(stored.size(), GreedyEntry(ByteSpan(content), method).size())
                    << "trial " << trial << ", method " << int{method};
            }
        }
    }
}

// Where the quick parse looks up a copy by where a run ends, or folds
// commands into literals, it could reach before the output's start, cross a
// command's limits or miscount a run; each case is decoded back, and must
// be no longer than the plain greedy coding.
TEST(EncoderQuickParse, RunsCopiesAndFoldsDecodeExactly) {
    struct Case {
        const char* name;
        uint8_t method;
        Bytes content;
        bool copies;  // a back copy must be among the commands
    };
    Bytes row = Concat({Random(20, 41), Bytes(10, 0x61), Random(70, 42)});
    // "aab" at byte 5 is where the run at byte 30 ends (byte 59) looks,
    // 54 bytes back: further than the run's own start.
    Bytes early = Random(30, 43);
    early[5] = early[6] = 0x61;
    early[7] = 0x62;
    const Case cases[] = {
        {"a copy of the row above that begins inside a run", 2, Concat({row, row}), true},
        {"a run of 66 copied from an earlier run", 1,
         Concat({Random(20, 44), Bytes(70, 0x7A), Random(200, 45), Bytes(66, 0x7A), Random(10, 46)}), true},
        {"a run of 66 copied from an earlier run's start", 1,
         Concat({Random(20, 47), Bytes(66, 0x7A), Random(200, 48), Bytes(66, 0x7A), {0x01}}), true},
        {"a run of 66 copied from far inside a longer run", 2,
         Concat({Random(15, 53), Bytes(87, 0), Random(66, 54), Bytes(66, 0), {7}}), true},
        {"a run whose end is seen before the output's start", 2, Concat({early, Bytes(31, 0x61), {0x62}, Random(5, 49)}), false},
        {"runs of 65, 66 and 67 bytes", 2, Concat({Bytes(65, 1), {9}, Bytes(66, 2), {9}, Bytes(67, 3), {9}}), false},
        {"a 3-byte run between literals of 62", 1, Concat({Random(62, 50), Bytes(3, 4), Random(62, 51)}), false},
        {"pairs up to the last byte", 1, Concat({Random(9, 52), Repeat({5, 6}, 40), {5}}), false},
    };
    for (const Case& c : cases) {
        EncoderStats stats;
        Bytes stored = EncodeEntry(c.method, c.content, &stats);
        EXPECT_EQ(Decode(stored, c.content.size()), c.content) << c.name;
        EXPECT_LE(stored.size(), GreedyEntry(ByteSpan(c.content), c.method).size()) << c.name;
        if (c.copies) {
            EXPECT_GT(stats.back_copies, 0u) << c.name;
        }
    }
}

// Each command kind turns up where its pattern is, and saves space there.
TEST(EncoderCommands, EachPatternUsesItsCommand) {
    struct Case {
        const char* name;
        uint8_t method;
        Bytes content;
        size_t EncoderStats::*command;
    };
    const Case cases[] = {
        {"literal", 1, Random(50, 21), &EncoderStats::literals},
        {"byte run", 1, Concat({{1, 2}, Bytes(40, 7), {3, 4}}), &EncoderStats::byte_runs},
        {"long byte run", 1, Bytes(5000, 0), &EncoderStats::long_byte_runs},
        {"pair run", 1, Concat({{9}, Repeat({1, 2}, 30), {9}}), &EncoderStats::pair_runs},
        {"long pair run", 1, Repeat({1, 2}, 3000), &EncoderStats::long_pair_runs},
        {"back copy, wide row", 1, Echoes(300, 4, 22), &EncoderStats::back_copies},
        {"back copy, narrow row", 2, Echoes(40, 10, 23), &EncoderStats::back_copies},
    };
    for (const Case& c : cases) {
        EncoderStats stats;
        Bytes stored = EncodeEntry(c.method, c.content, &stats);
        EXPECT_GT(stats.*c.command, 0u) << c.name;
        EXPECT_EQ(Decode(stored, c.content.size()), c.content) << c.name;
    }
    // Beyond the wide row's longest reach (2560) nothing can be copied back.
    EncoderStats far;
    EncodeEntry(1, Echoes(2600, 2, 24), &far);
    EXPECT_EQ(far.back_copies, 0u);
}

// The quick search reaches both ends of every group's 64 distances, from
// the first copy on (where the group's window still starts before the
// content) to later ones.
TEST(EncoderCompression, QuickCopiesReachBothEndsOfEveryGroup) {
    for (uint8_t method : {uint8_t{1}, uint8_t{2}}) {
        for (uint32_t row : DistancesOf(method)) {
            for (uint32_t distance : {row - 63, row}) {
                Bytes content = Echoes(distance, 8, distance);
                EncoderStats stats;
                Bytes stored = EncodeEntry(method, content, &stats);
                EXPECT_GT(stats.back_copies, 0u) << "method " << int{method} << ", distance " << distance;
                EXPECT_LT(stored.size(), content.size() * 7 / 10) << "method " << int{method} << ", distance " << distance;
            }
        }
    }
}

// Hashing and comparing 16 at a time gives exactly the hashes and copies 8
// at a time does, at every position (the wide routines reorder what they
// pack), whatever the content's length leaves for the last wide step.
TEST(EncoderCompression, BothHashComparesFindTheSameCopies) {
    Bytes picture = workload::SampleBitmap(96, 64, 5);
    std::vector<Bytes> contents = {picture, Echoes(80, 40, 31), Concat({Random(3000, 32), picture, Bytes(200, 7)})};
    for (size_t size = 0; size <= 40; ++size) contents.push_back(Concat({Bytes(size / 3, 9), Random(size - size / 3, 33)}));
    for (const Bytes& content : contents) {
        ByteSpan span(content.data(), content.size());
        PositionHashes hashes(span), baseline_hashes(span, HashCompare::kBaseline);
        for (size_t p = 0; p + 2 < content.size(); ++p) {
            ASSERT_EQ(hashes.At(p), baseline_hashes.At(p)) << "size " << content.size() << ", position " << p;
        }
        for (uint8_t method : {uint8_t{1}, uint8_t{2}}) {
            HashedCopyFinder fastest(span, method, hashes),
                baseline(span, method, baseline_hashes, HashCompare::kBaseline);
            for (size_t p = 0; p < content.size(); ++p) {
                CopyMatch a = fastest.At(p), b = baseline.At(p);
                ASSERT_TRUE(a.length == b.length && a.parameter == b.parameter && a.reaches_end == b.reaches_end)
                    << "method " << int{method} << ", position " << p;
            }
        }
    }
}

TEST(EncoderCompression, RepetitiveContentShrinks) {
    EXPECT_LT(EncodeEntry(1, Bytes(100000, 0)).size(), 100u);
    EXPECT_LT(EncodeEntry(2, Repeat(ToBytes("abcdefghijklmnopqrstuvwxyz"), 200)).size(), 400u);
}

TEST(EncoderMethods, OnlyCodedMethodsAreAccepted) {
    for (uint8_t method : {0x00, 0x03, 0x42, 0x80, 0xFF}) {
        EXPECT_THROW(EncodeEntry(method, ToBytes("x")), std::invalid_argument) << int{method};
    }
}

TEST(StoredEntries, ContentIsKeptAsItIsUnlessItWouldReadAsCoded) {
    for (uint8_t first : {0x01, 0x02, 0x81, 0x82}) {
        EXPECT_THROW(StoreEntry({first, 0x00}), std::invalid_argument) << int{first};
    }
    Bytes bitmap = ToBytes("BM and the rest");
    Bytes stored = StoreEntry(bitmap);
    EXPECT_EQ(stored, bitmap);
    Bytes out(bitmap.size());
    DecodeResult result = DecodeEntry(ByteSpan(stored.data(), stored.size()), stored.size(),
                                      MutableByteSpan(out.data(), out.size()));
    EXPECT_FALSE(result.coded);
    EXPECT_EQ(out, bitmap);
    EXPECT_TRUE(StoreEntry({}).empty());
}

}  // namespace
}  // namespace kova::testing
