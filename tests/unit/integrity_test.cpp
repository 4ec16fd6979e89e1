// The integrity walk: archives made by the writer's layout with real coded
// entries, then broken one way each; every break is found on the entry it
// damaged, and sound archives pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "archive/integrity.h"
#include "archive/window_decoder.h"
#include "tests/support/entry_encoder.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

// Entry 0 coded with method 1, entry 1 with method 2, entry 2 stored,
// entry 3 empty: offsets 56, then one after another. Entry 1 moved into
// the index overlaps both the index and entry 0.
Bytes SoundArchive() {
    Bytes text = ToBytes(std::string(300, 'a') + "harbour lights, harbour lights, harbour lights" + std::string(200, 'z'));
    return BuildArchive({EncodeEntry(1, text), EncodeEntry(2, text), ToBytes("BM stored as it is"), {}});
}

constexpr size_t kIndexAt = 24;
uint32_t OffsetOf(const Bytes& archive, uint32_t k) { return GetLe32(archive, kIndexAt + 8 * k + 4); }
uint32_t SizeOf(const Bytes& archive, uint32_t k) { return GetLe32(archive, kIndexAt + 8 * k); }

struct DamageCase {
    const char* name;
    std::function<Bytes()> make;
    IntegrityDepth depth;
    // Expected findings as (problem, entry), in order; empty for sound ones.
    std::vector<std::pair<IntegrityProblem, int64_t>> found;
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class IntegrityWalk : public ::testing::TestWithParam<DamageCase> {};

TEST_P(IntegrityWalk, FindsEachBreakOnItsEntry) {
    Bytes archive = GetParam().make();
    ArchiveReader reader;
    ASSERT_EQ(OpenArchiveImage(archive.data(), static_cast<int64_t>(archive.size()), reader), ArchiveStatus::kOk);
    IntegrityReport report;
    WalkArchive(reader, GetParam().depth, report);
    std::vector<std::pair<IntegrityProblem, int64_t>> found;
    for (const IntegrityFinding& finding : report.findings) found.emplace_back(finding.problem, finding.index);
    EXPECT_EQ(found, GetParam().found);
    // A window of a few bytes finds the same as one of a megabyte.
    WalkOptions tiny;
    tiny.window_size = 3;
    IntegrityReport narrow;
    WalkArchive(reader, GetParam().depth, narrow, tiny);
    ASSERT_EQ(narrow.findings.size(), report.findings.size());
    for (size_t k = 0; k < report.findings.size(); ++k) {
        EXPECT_EQ(narrow.findings[k].actual, report.findings[k].actual);
        EXPECT_EQ(narrow.findings[k].input_used, report.findings[k].input_used);
    }
}

// The windowed decoder gives what DecodeEntry gives, byte for byte and stop
// for stop, at every window size, on streams of every command.
TEST(WindowDecoder, AgreesWithTheDecoder) {
    Bytes text = ToBytes(std::string(700, 'a') + "harbour lights, harbour lights" + std::string(3000, 'z') + "end");
    std::vector<Bytes> streams = {
        EncodeEntry(1, text), EncodeEntry(2, text),
        CodedEntry(1, 300000, {0xBF, 0xFF, 0xFF, 'a', 'b', 0x7F, 0x10, 0x00, 'c', 0xC5, 0x00}),
        CodedEntry(2, 40, {0x43, 'q', 0x03, 'a', 'b', 'c', 0xC0, 0x3F, 0x00, 0x55}),
        CodedEntry(2, 40, {0x41, 'x', 0xC0, 0x00}),
        CodedEntry(1, 40, {0x82, 'a', 'b', 0x05, 'x'}),
    };
    for (size_t s = 0; s < streams.size(); ++s) {
        ByteSpan stored = View(streams[s]);
        uint32_t declared = ReadLe32(stored, 1);
        Bytes whole(declared, 0);
        DecodeResult expected = DecodeEntry(stored, stored.size(), MutableByteSpan(whole.data(), whole.size()));
        for (size_t window_size : {size_t{1}, size_t{7}, size_t{4096}, kDecodeWindowSize}) {
            Bytes seen;
            HeapBuffer window;
            WindowedResult got;
            auto keep = [](void* into, ByteSpan piece) {
                Bytes& bytes = *static_cast<Bytes*>(into);
                bytes.insert(bytes.end(), piece.begin(), piece.end());
            };
            ASSERT_TRUE(DecodeInWindow(stored, stored.size(), declared, window, keep, &seen, got, window_size));
            EXPECT_EQ(got.written, expected.written) << s << " window " << window_size;
            EXPECT_EQ(got.stop, expected.stop) << s;
            EXPECT_EQ(got.input_used, expected.input_used) << s;
            EXPECT_TRUE(std::equal(seen.begin(), seen.end(), whole.begin())) << s << " window " << window_size;
            EXPECT_EQ(seen.size(), expected.written);
        }
    }
}

using P = IntegrityProblem;
constexpr IntegrityDepth kFull = IntegrityDepth::kFullDecode;
constexpr IntegrityDepth kHeads = IntegrityDepth::kIndexAndHeads;

INSTANTIATE_TEST_SUITE_P(
    Archives, IntegrityWalk,
    ::testing::Values(
        DamageCase{"sound", SoundArchive, kFull, {}},
        DamageCase{"empty_archive", [] { return BuildArchive({}); }, kFull, {}},
        // Exactly the most a stream of one long pair run gives; one more is impossible.
        DamageCase{"longest_run_fills_its_output",
                   [] { return BuildArchive({CodedEntry(1, 131070, {0xBF, 0xFF, 0xFF, 'a', 'b'})}); }, kFull, {}},
        DamageCase{"one_byte_beyond_the_longest_run",
                   [] { return BuildArchive({CodedEntry(1, 131071, {0xBF, 0xFF, 0xFF, 'a', 'b'})}); }, kHeads,
                   {{P::kImpossibleSize, 0}}},
        DamageCase{"cut_short",
                   [] {
                       Bytes a = SoundArchive();
                       a.resize(OffsetOf(a, 1) + 3);
                       return a;
                   },
                   kHeads, {{P::kCutShort, -1}, {P::kPastEnd, 1}, {P::kPastEnd, 2}}},
        DamageCase{"offset_past_the_end",
                   [] {
                       Bytes a = SoundArchive();
                       PutLe32(a, kIndexAt + 8 * 2 + 4, 100000);
                       return a;
                   },
                   kHeads, {{P::kPastEnd, 2}}},
        DamageCase{"past_the_archive_but_not_the_file",
                   [] {
                       Bytes a = SoundArchive();
                       Append(a, Bytes(64, 0));
                       PutLe32(a, kIndexAt + 8 * 2 + 4, static_cast<uint32_t>(a.size() - 10));
                       return a;
                   },
                   kHeads, {{P::kPastEnd, 2}}},
        DamageCase{"size_grown_into_the_next",
                   [] {
                       Bytes a = SoundArchive();
                       PutLe32(a, kIndexAt, SizeOf(a, 0) + 4);
                       return a;
                   },
                   kHeads, {{P::kOverlap, 0}, {P::kOverlap, 1}}},
        DamageCase{"offset_inside_the_index",
                   [] {
                       Bytes a = SoundArchive();
                       PutLe32(a, kIndexAt + 8 * 1 + 4, 40);
                       return a;
                   },
                   kHeads, {{P::kOverlap, 0}, {P::kOverlap, 1}}},
        DamageCase{"declared_size_flipped",
                   [] {
                       Bytes a = SoundArchive();
                       a[OffsetOf(a, 1) + 4] ^= 0x4B;  // the declared size's top byte
                       return a;
                   },
                   kHeads, {{P::kImpossibleSize, 1}}},
        DamageCase{"declared_size_one_more",
                   [] {
                       Bytes a = SoundArchive();
                       a[OffsetOf(a, 0) + 1] += 1;
                       return a;
                   },
                   kFull, {{P::kStreamEndsEarly, 0}}},
        DamageCase{"stream_cut_by_a_shrunken_size",
                   [] {
                       Bytes a = SoundArchive();
                       PutLe32(a, kIndexAt + 8, SizeOf(a, 1) - 3);
                       return a;
                   },
                   kFull, {{P::kGap, 1}, {P::kStreamEndsEarly, 1}}},
        DamageCase{"stream_damage_is_not_seen_from_the_heads",
                   [] {
                       Bytes a = SoundArchive();
                       PutLe32(a, kIndexAt + 8, SizeOf(a, 1) - 3);
                       return a;
                   },
                   kHeads, {}},
        // The same range named twice is shared, decoded once, and no damage;
        // a damaged stream it holds is every sharer's.
        DamageCase{"shared_range",
                   [] {
                       Bytes a = SoundArchive();
                       PutLe32(a, kIndexAt + 8 * 3, SizeOf(a, 1));
                       PutLe32(a, kIndexAt + 8 * 3 + 4, OffsetOf(a, 1));
                       a[OffsetOf(a, 1) + 1] += 1;  // one more declared than the stream gives
                       return a;
                   },
                   kFull, {{P::kStreamEndsEarly, 1}, {P::kStreamEndsEarly, 3}}},
        DamageCase{"copy_before_the_start",
                   [] { return BuildArchive({ToBytes("RIFF"), CodedEntry(2, 10, {0x41, 'x', 0xC0, 0x00, 0x00})}); },
                   kFull, {{P::kCopyBeforeStart, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kova::testing
