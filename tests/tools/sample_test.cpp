// The bundled sample must be what the generator writes today, and every
// entry in it must decode back to the file it was made from.
#include <gtest/gtest.h>

#include "format/decoder.h"
#include "tests/tools/sample_content.h"

namespace kova::testing {
namespace {

TEST(SampleArchive, CommittedFileIsWhatTheGeneratorWrites) {
    Bytes committed = ReadFileBytes(KOVA_SAMPLE_ARCHIVE);
    EXPECT_TRUE(committed == SampleArchiveBytes())
        << "examples/sample.DAT is stale: regenerate it with build/make_sample examples/sample.DAT";
}

TEST(SampleArchive, EveryEntryDecodesToItsFile) {
    Bytes archive = SampleArchiveBytes();
    std::vector<SampleFile> files = SampleFiles();
    ASSERT_EQ(GetLe32(archive, 16), files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        uint32_t stored_size = GetLe32(archive, 24 + 8 * k);
        uint32_t offset = GetLe32(archive, 28 + 8 * k);
        ASSERT_LE(uint64_t{offset} + stored_size, archive.size());
        ByteSpan stored(archive.data() + offset, stored_size);
        Bytes out(files[k].content.size());
        DecodeResult result = DecodeEntry(stored, stored_size, MutableByteSpan(out.data(), out.size()));
        EXPECT_EQ(result.coded, files[k].packing != Packing::kStored) << files[k].about;
        EXPECT_EQ(out, files[k].content) << files[k].about;
    }
}

TEST(SampleArchive, UsesEveryKindOfCommandAndEveryPacking) {
    EncoderStats stats;
    SampleArchiveBytes(&stats);
    EXPECT_GT(stats.literals, 0u);
    EXPECT_GT(stats.byte_runs, 0u);
    EXPECT_GT(stats.long_byte_runs, 0u);
    EXPECT_GT(stats.pair_runs, 0u);
    EXPECT_GT(stats.long_pair_runs, 0u);
    EXPECT_GT(stats.back_copies, 0u);
    bool stored = false, wide = false, narrow = false;
    for (const SampleFile& file : SampleFiles()) {
        stored |= file.packing == Packing::kStored;
        wide |= file.packing == Packing::kCodedWide;
        narrow |= file.packing == Packing::kCodedNarrow;
    }
    EXPECT_TRUE(stored && wide && narrow);
}

}  // namespace
}  // namespace kova::testing
