#include "format/copy_finder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kova {
namespace {

// Group k holds the distances row[k] - 0 ... row[k] - 63; bit a of a group's
// mask stands for distance row[k] - a, which is parameter byte k << 6 | a.
uint8_t ParameterOf(size_t group, uint64_t mask) {
    return static_cast<uint8_t>(group << 6 | static_cast<unsigned>(__builtin_ctzll(mask)));
}

// Bits a (0..63) for which window[a] == value. `window` holds 64 bytes.
uint64_t EqualityMask(const uint8_t* window, uint8_t value) {
#if defined(__SSE2__)
    __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
        uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        mask |= static_cast<uint64_t>(bits) << (16 * part);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int a = 0; a < 64; ++a) mask |= static_cast<uint64_t>(window[a] == value) << a;
    return mask;
#endif
}

// Bit a set when distance row - a does not reach before the content's start.
uint64_t ReachableFrom(size_t position, uint32_t row) {
    if (position >= row) return ~uint64_t{0};
    size_t shortfall = row - position;  // the smallest a allowed
    return shortfall >= 64 ? 0 : ~uint64_t{0} << shortfall;
}

// How many bytes from `position` equal those `distance` back, up to
// `limit`; eight at a time while eight remain.
uint32_t MatchLength(const uint8_t* bytes, size_t position, size_t distance, uint32_t limit) {
    const uint8_t* here = bytes + position;
    const uint8_t* there = here - distance;
    uint32_t length = 0;
    while (length + 8 <= limit) {
        uint64_t a, b;
        std::memcpy(&a, here + length, 8);
        std::memcpy(&b, there + length, 8);
        uint64_t differ = a ^ b;
        if (differ != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return length + static_cast<uint32_t>(__builtin_ctzll(differ) / 8);
#else
            break;
#endif
        }
        length += 8;
    }
    while (length < limit && here[length] == there[length]) ++length;
    return length;
}

}  // namespace

ExhaustiveCopyFinder::ExhaustiveCopyFinder(ByteSpan content, uint8_t method)
    : content_(content), row_(DistancesOf(method)) {}

uint64_t ExhaustiveCopyFinder::MaskAt(size_t group, size_t position) { return masks_[position % kRing][group]; }

void ExhaustiveCopyFinder::ComputeMasks(size_t end) {
    for (; computed_end_ < end; ++computed_end_) {
        size_t x = computed_end_;
        uint8_t value = content_[x];
        for (size_t k = 0; k < 4; ++k) {
            uint64_t mask = 0;
            if (x >= row_[k]) {
                mask = EqualityMask(content_.data() + x - row_[k], value);
            } else {
                for (size_t a = row_[k] - x; a < 64; ++a) {
                    mask |= static_cast<uint64_t>(content_[x - row_[k] + a] == value) << a;
                }
            }
            masks_[x % kRing][k] = mask;
        }
    }
}

CopyMatch ExhaustiveCopyFinder::At(size_t position) {
    CopyMatch best;
    if (position >= content_.size()) return best;
    size_t limit = std::min<size_t>(kMaxCopyBytes, content_.size() - position);
    ComputeMasks(position + limit);
    bool follows_last = last_position_ != SIZE_MAX && position == last_position_ + 1;
    last_position_ = position;
    for (size_t k = 0; k < 4; ++k) {
        uint32_t length = 0;
        uint64_t mask = ReachableFrom(position, row_[k]);
        uint64_t extended = follows_last ? survivors_[k] & MaskAt(k, position + limit - 1) : 0;
        if (limit == kMaxCopyBytes && extended != 0) {
            // A distance that copied the full length one position back has
            // already matched all but the last byte here.
            mask = extended;
            length = kMaxCopyBytes;
        } else {
            while (length < limit && mask != 0) {
                uint64_t next = mask & MaskAt(k, position + length);
                if (next == 0) break;
                mask = next;
                ++length;
            }
        }
        survivors_[k] = length == kMaxCopyBytes ? mask : 0;
        if (length > best.length) {
            best.length = length;
            best.parameter = ParameterOf(k, mask);
            best.reaches_end = position + length == content_.size();
        }
    }
    return best;
}

HashedCopyFinder::HashedCopyFinder(ByteSpan content, uint8_t method)
    : content_(content), row_(DistancesOf(method)), hashes_(content.size() >= 3 ? content.size() - 2 : 0),
      heads_(4u << kHashBits, 0) {
    for (auto& chain : chains_) std::fill(std::begin(chain), std::end(chain), 0);
    const uint8_t* bytes = content.data();
    for (size_t x = 0; x < hashes_.size(); ++x) {
        uint32_t three = static_cast<uint32_t>(bytes[x]) | static_cast<uint32_t>(bytes[x + 1]) << 8 |
                         static_cast<uint32_t>(bytes[x + 2]) << 16;
        hashes_[x] = static_cast<uint16_t>((three * 2654435761u) >> (32 - kHashBits));
        // Inside a run of one byte value every position looks like the one
        // before it: filing them all would only lengthen the chains.
        if (x > 0 && bytes[x - 1] == bytes[x] && bytes[x] == bytes[x + 1] && bytes[x + 1] == bytes[x + 2]) {
            hashes_[x] |= kInsideRun;
        }
    }
}

// Files, for each group, the positions it reaches from `position` that are
// not filed yet: its window is position - row[k] to position - row[k] + 63.
// Positions skipped over while no group reached them are never looked up.
void HashedCopyFinder::FileUpTo(size_t position) {
    if (content_.size() < 3) return;
    size_t last_three = content_.size() - 3;
    for (size_t k = 0; k < 4; ++k) {
        if (position + (kWindow - 1) < row_[k]) continue;
        size_t window_end = std::min(position + (kWindow - 1) - row_[k], last_three);
        size_t window_start = position >= row_[k] ? position - row_[k] : 0;
        uint32_t* heads = heads_.data() + (k << kHashBits);
        for (size_t x = std::max(next_to_file_[k], window_start); x <= window_end; ++x) {
            uint32_t hash = hashes_[x];
            if (hash & kInsideRun) continue;
            chains_[k][x % kWindow] = heads[hash];
            heads[hash] = static_cast<uint32_t>(x + 1);
        }
        next_to_file_[k] = std::max(next_to_file_[k], window_end + 1);
    }
}

CopyMatch HashedCopyFinder::At(size_t position) {
    CopyMatch best;
    if (position + 3 > content_.size()) return best;
    FileUpTo(position);
    size_t limit = std::min<size_t>(kMaxCopyBytes, content_.size() - position);
    uint32_t hash = hashes_[position] & ~kInsideRun;
    for (size_t k = 0; k < 4; ++k) {
        if (position < row_[k] - (kWindow - 1)) continue;
        // Candidates are stored plus one; the window starts at position - row.
        size_t window_start = position >= row_[k] ? position - row_[k] + 1 : 1;
        size_t candidate = heads_[(k << kHashBits) + hash];
        for (size_t tries = 0; tries < kMaxCandidates && candidate >= window_start; ++tries) {
            size_t source = candidate - 1;
            size_t distance = position - source;
            uint32_t length = MatchLength(content_.data(), position, distance, static_cast<uint32_t>(limit));
            if (length > best.length) {
                best.length = length;
                best.parameter = static_cast<uint8_t>(k << 6 | (row_[k] - distance));
                best.reaches_end = position + length == content_.size();
            }
            if (length == limit) return best;
            candidate = chains_[k][source % kWindow];
        }
    }
    return best;
}

}  // namespace kova
