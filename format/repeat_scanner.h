// How far a byte, or a pair of bytes, repeats from a position: what the byte
// runs and pair runs can cover there. Asked at positions in increasing
// order, each answer costs O(1) amortized, since a run's end is found once.
#pragma once

#include <cstddef>
#include <cstring>

#include "format/bytes.h"

namespace kova {

// The first x from `from` on, below `end`, where bytes[x] differs from
// bytes[x - back] (`end` when none does): eight bytes at a time, since runs
// in pictures go on for dozens of bytes and a byte loop pays a branch each.
inline size_t EndOfRepeat(const uint8_t* bytes, size_t from, size_t end, size_t back) {
    size_t x = from;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (x + 8 <= end) {
        uint64_t here, there;
        std::memcpy(&here, bytes + x, 8);
        std::memcpy(&there, bytes + x - back, 8);
        uint64_t differ = here ^ there;
        if (differ != 0) return x + static_cast<size_t>(__builtin_ctzll(differ) / 8);
        x += 8;
    }
#endif
    while (x < end && bytes[x] == bytes[x - back]) ++x;
    return x;
}

class RepeatScanner {
public:
    explicit RepeatScanner(ByteSpan content) : content_(content) {}

    // Bytes from `position` equal to the byte there (at least 1).
    size_t ByteRun(size_t position) {
        if (run_end_ <= position) run_end_ = EndOfRepeat(content_.data(), position + 1, content_.size(), 1);
        return run_end_ - position;
    }

    // Bytes from `position` that repeat the two bytes there: a b a b a ...
    // (at least min(2, what is left)).
    size_t PairPattern(size_t position) {
        if (position + 2 >= content_.size()) return content_.size() - position;
        if (pattern_end_ < position + 2) pattern_end_ = EndOfRepeat(content_.data(), position + 2, content_.size(), 2);
        return pattern_end_ - position;
    }

private:
    ByteSpan content_;
    size_t run_end_ = 0;      // the end of the byte run last found
    size_t pattern_end_ = 0;  // the first byte after the pair pattern last found
};

}  // namespace kova
