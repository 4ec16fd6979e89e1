// Finding back copies: for a position in the content, the longest copy any
// of a method's 256 distances can make there. Two finders: an exhaustive one
// that answers exactly (for the optimal parse) and a hashed one that looks
// only where the same three bytes were seen (for the fast default).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "format/bytes.h"
#include "format/coding.h"

namespace kova {

// How far a byte and a pair of bytes repeat from a position.
struct Repeats {
    size_t run = 0;
    size_t pattern = 0;
};

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

// How the quick search's hashes are made and compared: 16 at a time where
// the machine can (kFastest), or 8 at a time as every x86-64 machine can
// (kBaseline). Both give the same hashes and find the same copies.
enum class HashCompare { kFastest, kBaseline };

// A hash of the three bytes at each position, made once per content and
// shared by both methods' quick parses.
class PositionHashes {
public:
    explicit PositionHashes(ByteSpan content, HashCompare compare = HashCompare::kFastest);

    // Marks what no position looks up: the inside of a run of one byte
    // value, where every position looks like the one before it, and the
    // padding before the content's start.
    static constexpr uint16_t kNeverMatches = 0x8000;
    // The farthest any group reaches back, and so the padding's length.
    static constexpr size_t kPadding = kWideDistances[3];

    // The hashes from position `first` on, which may lie up to kPadding
    // before the start; every position up to the content's third-last has
    // one.
    const uint16_t* From(size_t padded_first) const { return hashes_.get() + padded_first; }
    uint16_t At(size_t position) const { return hashes_[kPadding + position]; }

private:
    std::unique_ptr<uint16_t[]> hashes_;
};

// Copies found through those hashes: a group's 64 reachable positions are
// compared with the hash here in a few wide compares, newest first. No
// table is kept up to date as the parse moves, so positions the parse
// skips cost nothing more. A position where a run of a byte or a pair starts looks
// its copies up by the three bytes where the run ends, since the inside of
// a run carries no hashes to match. Cheap, and nearly always as good as the
// exhaustive search.
class HashedCopyFinder {
public:
    HashedCopyFinder(ByteSpan content, uint8_t method, const PositionHashes& hashes,
                     HashCompare compare = HashCompare::kFastest);
    // Positions may be asked in any order. `repeats`, where the caller
    // has them, are the byte run and the pair pattern from `position` (as
    // repeat_scanner.h tells them), which the search needs and would
    // otherwise measure again.
    CopyMatch At(size_t position, const Repeats* repeats = nullptr) const;

private:
    ByteSpan content_;
    const DistanceRow& row_;
    const PositionHashes& hashes_;
    bool wide_compare_ = false;  // the machine compares 16 hashes at once
};

// The hashed search for both methods at one position at once, as kova pack
// plans both to keep the smaller: each answer is exactly HashedCopyFinder's
// for its method, given the repeats there.
class PairedCopyFinder {
public:
    PairedCopyFinder(ByteSpan content, const PositionHashes& hashes, HashCompare compare = HashCompare::kFastest);
    void At(size_t position, const Repeats& repeats, CopyMatch& wide, CopyMatch& narrow) const;

private:
    ByteSpan content_;
    const PositionHashes& hashes_;
    bool wide_compare_ = false;
};

}  // namespace kova
