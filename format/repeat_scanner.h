// How far a byte, or a pair of bytes, repeats from a position: what the byte
// runs and pair runs can cover there. Asked at positions in increasing
// order, each answer costs O(1) amortized, since a run's end is found once.
#pragma once

#include <cstddef>

#include "format/bytes.h"

namespace kova {

class RepeatScanner {
public:
    explicit RepeatScanner(ByteSpan content) : content_(content) {}

    // Bytes from `position` equal to the byte there (at least 1).
    size_t ByteRun(size_t position) {
        if (run_end_ <= position) {
            run_end_ = position + 1;
            while (run_end_ < content_.size() && content_[run_end_] == content_[position]) ++run_end_;
        }
        return run_end_ - position;
    }

    // Bytes from `position` that repeat the two bytes there: a b a b a ...
    // (at least min(2, what is left)).
    size_t PairPattern(size_t position) {
        if (position + 2 >= content_.size()) return content_.size() - position;
        if (pattern_end_ < position + 2) {
            pattern_end_ = position + 2;
            while (pattern_end_ < content_.size() && content_[pattern_end_] == content_[pattern_end_ - 2]) {
                ++pattern_end_;
            }
        }
        return pattern_end_ - position;
    }

private:
    ByteSpan content_;
    size_t run_end_ = 0;      // the end of the byte run last found
    size_t pattern_end_ = 0;  // the first byte after the pair pattern last found
};

}  // namespace kova
