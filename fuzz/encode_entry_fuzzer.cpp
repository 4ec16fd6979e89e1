// Any content, coded with both methods at both strengths, must decode back to
// exactly itself; the best strength must never be longer than the default,
// nor the default than the plain greedy coding. The first byte picks the method's bit 7, so both forms of the
// method byte are covered.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "format/decoder.h"
#include "format/encoder.h"
#include "tests/support/greedy_reference.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t high_bit = data[0] & 0x80;
    kova::ByteSpan content(data + 1, size - 1);
    std::vector<uint8_t> decoded(content.size());
    for (uint8_t method : {uint8_t{1}, uint8_t{2}}) {
        std::vector<uint8_t> quick, best;
        Check(kova::EncodeEntry(method | high_bit, content, quick, kova::EncoderStrength::kDefault));
        Check(kova::EncodeEntry(method | high_bit, content, best, kova::EncoderStrength::kBest));
        Check(best.size() <= quick.size());
        Check(quick.size() <= kova::testing::GreedyEntry(content, method | high_bit).size());
        for (const std::vector<uint8_t>* stored : {&quick, &best}) {
            std::fill(decoded.begin(), decoded.end(), 0xA5);
            kova::DecodeResult result =
                kova::DecodeEntry(kova::ByteSpan(stored->data(), stored->size()), stored->size(),
                                  kova::MutableByteSpan(decoded.data(), decoded.size()));
            Check(result.coded && result.written == content.size());
            Check(content.empty() || result.stop != kova::DecodeStop::kInputExhausted);
            Check(std::equal(decoded.begin(), decoded.end(), content.begin()));
        }
    }
    return 0;
}
