// How far runs of a byte and of a pair reach, measured eight bytes at a time:
// against a count made byte by byte, on content whose runs end at every
// offset of an eight-byte word and at the content's end. Both the quick
// parse and the plain greedy it is held to measure runs this way, so a slip
// here would not show as one coder beating the other.
#include <gtest/gtest.h>

#include "format/repeat_scanner.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

size_t CountedRun(const Bytes& content, size_t position, size_t back) {
    size_t x = position + back;
    while (x < content.size() && content[x] == content[x - back]) ++x;
    return std::min(x, content.size()) - position;
}

TEST(RepeatScanner, RunsEndWhereAByteLoopSaysTheyDo) {
    for (size_t length = 1; length <= 40; ++length) {
        for (size_t lead = 0; lead < 9; ++lead) {
            // A run of `length`, then a pair pattern of `length`, then a byte that
            // breaks both, and the same again ending the content.
            Bytes content(lead, 0x11);
            for (size_t k = 0; k < 2; ++k) {
                Append(content, Bytes(length, 0x22));
                for (size_t j = 0; j < length; ++j) content.push_back(j % 2 == 0 ? 0x33 : 0x44);
                if (k == 0) content.push_back(0x55);
            }
            RepeatScanner scanner(View(content));
            for (size_t p = 0; p < content.size(); ++p) {
                SCOPED_TRACE(::testing::Message() << "length " << length << " lead " << lead << " at " << p);
                ASSERT_EQ(scanner.ByteRun(p), CountedRun(content, p, 1));
                size_t pattern = p + 2 >= content.size() ? content.size() - p : CountedRun(content, p, 2);
                ASSERT_EQ(scanner.PairPattern(p), pattern);
            }
        }
    }
}

}  // namespace
}  // namespace kova::testing
