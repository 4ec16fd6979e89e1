// Finding back copies: for a position in the content, the longest copy any
// of a method's 256 distances can make there. Two finders: an exhaustive one
// that answers exactly (for the optimal parse) and a hashed one that looks
// only where the same three bytes were seen (for the fast default).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/bytes.h"
#include "format/coding.h"

namespace kova {

struct CopyMatch {
    uint32_t length = 0;    // content bytes the copy reproduces, at most 66
    uint8_t parameter = 0;  // the distance byte that reproduces them
    // The copy reproduces everything from the position to the content's end.
    bool reaches_end = false;
};

// The longest copy at each position, over all 256 distances, asked for at
// positions in increasing order. It keeps, for a window of positions ahead,
// a bit per distance telling whether the byte there equals the byte that
// distance reaches back to; a copy's length is how long the AND of those
// masks stays non-zero.
class ExhaustiveCopyFinder {
public:
    ExhaustiveCopyFinder(ByteSpan content, uint8_t method);
    CopyMatch At(size_t position);

private:
    static constexpr size_t kRing = 128;  // at least the longest copy, a power of two
    uint64_t MaskAt(size_t group, size_t position);
    void ComputeMasks(size_t position);

    ByteSpan content_;
    const DistanceRow& row_;
    uint64_t masks_[kRing][4] = {};
    size_t computed_end_ = 0;  // masks are known for positions below this
    // Distances that kept a full-length copy at the last position asked,
    // per group: each is still a candidate one position further on.
    uint64_t survivors_[4] = {};
    size_t last_position_ = SIZE_MAX;
};

// Copies found through the three bytes at each position: every position is
// filed under a hash of its three bytes in a small table per distance
// group, and a position looks up the positions its group reaches. Cheap,
// and nearly always as good as the exhaustive search.
class HashedCopyFinder {
public:
    HashedCopyFinder(ByteSpan content, uint8_t method);
    // Positions must not decrease between calls; any may be skipped.
    CopyMatch At(size_t position);

private:
    static constexpr size_t kHashBits = 9;  // a window holds 64 positions: a small table stays in cache
    static constexpr size_t kWindow = 64;       // the positions a group reaches
    static constexpr size_t kMaxCandidates = 8;  // positions tried per group
    static constexpr uint16_t kInsideRun = 0x8000;  // marks a hash not filed
    void FileUpTo(size_t position);

    ByteSpan content_;
    const DistanceRow& row_;
    std::vector<uint16_t> hashes_;  // of the three bytes at each position, made once
    // Positions are below 2^32 (entries are), stored plus one so that 0
    // means none.
    std::vector<uint32_t> heads_;   // 4 tables of 1 << kHashBits newest positions
    uint32_t chains_[4][kWindow];   // the previous position of the same hash, by position % 64
    size_t next_to_file_[4] = {};  // per group, the first position not filed yet
};

}  // namespace kova
