// kova pack plans both methods side by side, sharing their search: each plan
// must come out as the one method's plan made alone, on content where the two
// plans part and meet again (copies one method reaches and the other does
// not, runs, and stretches of literals), and at contents' ends.
#include <gtest/gtest.h>

#include <string>

#include "format/encoder.h"
#include "tests/support/workload.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

// Rows of 100 bytes that repeat the row 100 back (only the narrow method's
// 80..160 reaches it) or the row 1000 back (only the wide one's), with runs
// and noise between.
Bytes RowsBothMethodsSeeDifferently(size_t rows) {
    Bytes out;
    uint32_t state = 7;
    for (size_t row = 0; row < rows; ++row) {
        for (size_t k = 0; k < 100; ++k) {
            state = state * 1103515245u + 12345u;
            uint8_t noise = static_cast<uint8_t>(state >> 16);
            size_t at = out.size();
            if (row % 3 == 1 && at >= 100) out.push_back(out[at - 100]);
            else if (row % 3 == 2 && at >= 1000) out.push_back(out[at - 1000]);
            else if (k % 40 < 6) out.push_back(0x20);
            else out.push_back(noise);
        }
    }
    return out;
}

TEST(PairedPlans, EachIsWhatItsMethodPlansAlone) {
    const std::pair<std::string, Bytes> contents[] = {
        {"bitmap", workload::SampleBitmap(320, 200, 3)},
        {"wave", workload::SampleWave(30000, 5)},
        {"rows", RowsBothMethodsSeeDifferently(60)},
        {"short", ToBytes("abcabcabcxyz")},
        {"run to the end", Bytes(700, 0x41)},
    };
    for (const auto& [name, content] : contents) {
        for (size_t cut : {content.size(), content.size() - 1, content.size() / 2 + 1}) {
            SCOPED_TRACE(::testing::Message() << name << " cut to " << cut);
            Bytes part(content.begin(), content.begin() + cut);
            Bytes wide, narrow, packed;
            ASSERT_TRUE(EncodeEntry(kMethodCodedWide, View(part), wide));
            ASSERT_TRUE(EncodeEntry(kMethodCodedNarrow, View(part), narrow));
            ASSERT_EQ(PackEntry(View(part), PackMethod::kAuto, EncoderStrength::kDefault, packed), PackStatus::kOk);
            // Kept as it is only where no coded form is smaller.
            const Bytes& smaller = narrow.size() < wide.size() ? narrow : wide;
            bool kept = MayBeStoredAsIs(View(part)) && part.size() <= smaller.size();
            EXPECT_EQ(packed, kept ? part : smaller);
        }
    }
}

}  // namespace
}  // namespace kova::testing
