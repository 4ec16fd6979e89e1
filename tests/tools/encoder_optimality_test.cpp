// The best strength must give the shortest stream there is. The oracle here
// knows nothing of the encoder: at every position it tries every command the
// format has, with every count and every distance byte, keeps those whose
// output (up to the content's end) is exactly the content, and finds the
// cheapest chain by plain dynamic programming.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "format/decoder.h"
#include "tests/support/entry_encoder.h"

namespace kova::testing {
namespace {

const uint32_t kRows[3][4] = {{}, {320, 640, 1280, 2560}, {80, 160, 320, 640}};

// True when writing `produce(j)` for j = 0, 1, ... from position p matches
// the content up to its end or for `count` bytes, whichever comes first.
template <typename Producer>
bool Matches(const Bytes& content, size_t p, size_t count, Producer produce) {
    for (size_t j = 0; j < count && p + j < content.size(); ++j) {
        if (produce(j) != content[p + j]) return false;
    }
    return true;
}

// Length of the shortest command stream (head excluded) for `content`.
size_t OracleStreamLength(const Bytes& content, int method) {
    const size_t n = content.size(), kNone = std::numeric_limits<size_t>::max();
    std::vector<size_t> best(n + 1, kNone);
    best[0] = 0;
    for (size_t p = 0; p < n; ++p) {
        if (best[p] == kNone) continue;
        size_t left = n - p;
        auto reach = [&](size_t produced, size_t cost) {
            size_t to = std::min(n, p + produced);
            // A back copy, or anything, as the last command: only a copy needs
            // a byte after it, and callers add that themselves.
            best[to] = std::min(best[to], best[p] + cost);
        };
        for (size_t c = 1; c <= 63 && c <= left; ++c) reach(c, 1 + c);
        uint8_t a = content[p], b = p + 1 < n ? content[p + 1] : 0;
        for (size_t count = 3; count <= 65; ++count) {
            if (Matches(content, p, count, [&](size_t) { return a; })) reach(count, 2);
        }
        for (size_t count = 1; count <= left + 1; ++count) {
            if (Matches(content, p, count, [&](size_t) { return a; })) reach(count, 4);
        }
        auto pair = [&](size_t j) { return j % 2 ? b : a; };
        for (size_t pairs = 2; pairs <= 64; ++pairs) {
            if (Matches(content, p, 2 * pairs, pair)) reach(2 * pairs, 3);
        }
        for (size_t pairs = 1; pairs <= left / 2 + 1; ++pairs) {
            if (Matches(content, p, 2 * pairs, pair)) reach(2 * pairs, 5);
        }
        for (int d = 0; d < 256; ++d) {
            size_t distance = kRows[method][d >> 6] - (d & 0x3F);
            if (distance > p) continue;
            for (size_t count = 3; count <= 66; ++count) {
                if (!Matches(content, p, count, [&](size_t j) { return content[p + j - distance]; })) break;
                reach(count, p + count >= n ? 3 : 2);  // a final copy takes the end command too
            }
        }
    }
    return best[n];
}

struct Noise {
    uint32_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

// Content from a small alphabet, with stretches of repeats, so that runs,
// pairs and copies all compete and overlap.
Bytes Tiny(Noise& noise, size_t size, uint32_t alphabet) {
    Bytes out;
    while (out.size() < size) {
        uint32_t shape = noise.Next() % 4, length = 1 + noise.Next() % 12;
        for (uint32_t k = 0; k < length && out.size() < size; ++k) {
            if (shape == 0 || out.size() < 2) out.push_back(static_cast<uint8_t>(noise.Next() % alphabet));
            else if (shape == 1) out.push_back(out.back());
            else if (shape == 2) out.push_back(out[out.size() - 2]);
            else out.push_back(out[out.size() - std::min<size_t>(out.size(), 17 + noise.Next() % 64)]);
        }
    }
    return out;
}

TEST(EncoderOptimality, BestMatchesAnExhaustiveSearch) {
    struct Case {
        int method;
        size_t size;
        uint32_t alphabet;
        int trials;
    };
    // Method 2 copies from 17 bytes back, method 1 from 257.
    const Case cases[] = {{2, 12, 2, 60}, {2, 40, 2, 60}, {2, 100, 3, 40}, {2, 160, 4, 20}, {1, 300, 2, 6}, {1, 400, 3, 4}};
    Noise noise{2024};
    for (const Case& c : cases) {
        for (int trial = 0; trial < c.trials; ++trial) {
            Bytes content = Tiny(noise, 1 + noise.Next() % c.size, c.alphabet);
            Bytes stored = EncodeEntry(static_cast<uint8_t>(c.method), content, nullptr, EncoderStrength::kBest);
            ASSERT_EQ(stored.size() - 5, OracleStreamLength(content, c.method))
                << "method " << c.method << ", " << content.size() << " bytes, trial " << trial;
            Bytes out(content.size());
            DecodeEntry(ByteSpan(stored.data(), stored.size()), stored.size(), MutableByteSpan(out.data(), out.size()));
            ASSERT_EQ(out, content);
        }
    }
}

}  // namespace
}  // namespace kova::testing
