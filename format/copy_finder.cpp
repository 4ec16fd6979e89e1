#include "format/copy_finder.h"
#include "format/repeat_scanner.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the compiler can build a routine for AVX2 beside the baseline one,
// the quick search compares a window's hashes 16 at a time on machines
// that have it.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KOVA_WIDE_HASH_COMPARE 1
#include <immintrin.h>
#endif

namespace kova {
namespace {

// As many bits as the run flag leaves: nothing is indexed by a hash, so a
// bit costs nothing, while a hash two positions share by chance costs a
// look at a candidate that is no copy (with 9 bits, half the positions of
// random content met one in their six windows).
constexpr unsigned kHashBits = 15;
constexpr uint32_t kHashFactor = 2654435761u;

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

uint32_t LittleEndian(uint32_t value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap32(value);
#else
    return value;
#endif
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

// The hash a position looks for, made ready once for every group's
// compare; Same gives bit a set when the hash of window position a is it.
struct NarrowProbe {
#if defined(__SSE2__)
    explicit NarrowProbe(uint16_t hash) : wanted(_mm_set1_epi16(static_cast<short>(hash))) {}
    uint64_t Same(const uint16_t* window) const {
        uint64_t mask = 0;
        for (int part = 0; part < 4; ++part) {
            __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
            __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part + 8));
            __m128i equal = _mm_packs_epi16(_mm_cmpeq_epi16(low, wanted), _mm_cmpeq_epi16(high, wanted));
            mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(equal))) << (16 * part);
        }
        return mask;
    }
    __m128i wanted;
#else
    explicit NarrowProbe(uint16_t hash) : wanted(hash) {}
    uint64_t Same(const uint16_t* window) const {
        uint64_t mask = 0;
        for (size_t a = 0; a < 64; ++a) mask |= static_cast<uint64_t>(window[a] == wanted) << a;
        return mask;
    }
    uint16_t wanted;
#endif
};

#if defined(KOVA_WIDE_HASH_COMPARE)
struct WideProbe {
    __attribute__((target("avx2"))) explicit WideProbe(uint16_t hash)
        : wanted(_mm256_set1_epi16(static_cast<short>(hash))) {}
    __attribute__((target("avx2"))) uint64_t Same(const uint16_t* window) const {
        const __m256i* at = reinterpret_cast<const __m256i*>(window);
        // Packing works within each half of a register: the quarters come
        // out as positions 0-7, 16-23, 8-15, 24-31 and are put in order.
        __m256i first = _mm256_packs_epi16(_mm256_cmpeq_epi16(_mm256_loadu_si256(at), wanted),
                                           _mm256_cmpeq_epi16(_mm256_loadu_si256(at + 1), wanted));
        __m256i second = _mm256_packs_epi16(_mm256_cmpeq_epi16(_mm256_loadu_si256(at + 2), wanted),
                                            _mm256_cmpeq_epi16(_mm256_loadu_si256(at + 3), wanted));
        first = _mm256_permute4x64_epi64(first, 0xD8);
        second = _mm256_permute4x64_epi64(second, 0xD8);
        return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(first))) |
               static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(second))) << 32;
    }
    __m256i wanted;
};

bool HasWideCompare() { return __builtin_cpu_supports("avx2"); }
#endif

uint16_t HashOfThree(uint32_t three) { return static_cast<uint16_t>((three * kHashFactor) >> (32 - kHashBits)); }

// The hash of the three bytes after the first of `four` (read little-endian),
// flagged when all four are one value: the inside of a run.
uint16_t HashOfFour(uint32_t four) {
    uint16_t hash = HashOfThree(four >> 8);
    bool inside_run = ((four ^ (four >> 8)) & 0xFFFFFF) == 0;
    return inside_run ? static_cast<uint16_t>(hash | PositionHashes::kNeverMatches) : hash;
}

#if defined(KOVA_WIDE_HASH_COMPARE)
// HashOfFour for eight consecutive positions, the first of whose four
// bytes starts at `at`: one 16-byte read, given to both halves of a
// register and shuffled into the eight fours.
__attribute__((target("avx2"), always_inline)) inline __m256i HashEight(const uint8_t* at) {
    const __m256i fours = _mm256_setr_epi8(0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5, 3, 4, 5, 6,  //
                                           4, 5, 6, 7, 5, 6, 7, 8, 6, 7, 8, 9, 7, 8, 9, 10);
    __m256i four = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))),
                                       fours);
    __m256i three = _mm256_srli_epi32(four, 8);
    __m256i hash = _mm256_srli_epi32(_mm256_mullo_epi32(three, _mm256_set1_epi32(static_cast<int>(kHashFactor))),
                                     32 - kHashBits);
    __m256i inside_run = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_xor_si256(four, three), _mm256_set1_epi32(0xFFFFFF)),
                                            _mm256_setzero_si256());
    return _mm256_or_si256(hash, _mm256_and_si256(inside_run, _mm256_set1_epi32(PositionHashes::kNeverMatches)));
}

// HashOfFour for 16 positions at a time, from position 1 on, while the
// reads stay inside the content. Returns the first position left unhashed.
__attribute__((target("avx2"))) size_t HashSixteenAtATime(const uint8_t* bytes, size_t size, uint16_t* hashes) {
    size_t x = 1;
    // Position x reads bytes x - 1 to x + 22 (the second eight's 16-byte
    // read starts at x + 7).
    for (; x + 23 <= size; x += 16) {
        // Packing works within each half of a register: the quarters come
        // out as positions 0-3, 8-11, 4-7, 12-15 and are put in order.
        __m256i packed = _mm256_packus_epi32(HashEight(bytes + x - 1), HashEight(bytes + x + 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(hashes + x), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return x;
}
#endif

constexpr size_t kWindow = 64;        // the positions a group reaches
constexpr size_t kMaxCandidates = 32; // positions tried per group

// The bytes from `position` equal to the byte there, up to `limit`.
inline size_t RunFrom(const uint8_t* bytes, size_t position, size_t limit) {
    return EndOfRepeat(bytes, position + 1, position + limit, 1) - position;
}

// The bytes from `position` that repeat the two there (a b a b ...), up to
// `limit`; a run of one byte is such a pattern too.
inline size_t PairPatternFrom(const uint8_t* bytes, size_t position, size_t limit) {
    if (limit <= 2) return limit;
    return EndOfRepeat(bytes, position + 2, position + limit, 2) - position;
}

// Bit a of found[k] set where the hash at group k's window position a
// (the window of `probe_at`, at or after `position`) is `probe`'s, for the
// `count` groups of `row`; 0 for a group that reaches only before the start.
template <typename Probe>
inline __attribute__((always_inline)) void FindCandidates(const uint32_t* row, size_t count,
                                                          const PositionHashes& hashes, size_t position,
                                                          size_t probe_at, const Probe& probe, uint64_t* found) {
    for (size_t k = 0; k < count; ++k) {
        // The group reaches position - row to position - row + 63, at least
        // 17 positions back: within the hashes, or in the padding before.
        found[k] = position + (kWindow - 1) < row[k] ? 0
                                                     : probe.Same(hashes.From(PositionHashes::kPadding + probe_at - row[k]));
    }
}

// Tries, in each group, the candidates `found` as the sources of a copy at
// `position`. Keeps in `best` the longest; true once one reaches `limit`.
// One test first whether any group found one: in most positions of a
// picture none does, and a test per group would be a branch the machine
// mispredicts.
inline __attribute__((always_inline)) bool TryFound(ByteSpan content, const DistanceRow& row, size_t position,
                                                    const uint64_t* found, size_t limit, CopyMatch& best) {
    if ((found[0] | found[1] | found[2] | found[3]) == 0) return false;
    for (size_t k = 0; k < 4; ++k) {
        uint64_t same = found[k];
        for (size_t tries = 0; tries < kMaxCandidates && same != 0; ++tries) {
            unsigned newest = 63u - static_cast<unsigned>(__builtin_clzll(same));
            same &= ~(uint64_t{1} << newest);
            size_t distance = row[k] - newest;
            if (distance > position) break;  // older ones reach further back still
            // Only a copy longer than the best so far matters: one whose
            // byte just past that length differs cannot be.
            if (best.length > 0 && content[position + best.length] != content[position + best.length - distance]) {
                continue;
            }
            uint32_t length = MatchLength(content.data(), position, distance, static_cast<uint32_t>(limit));
            if (length > best.length) {
                best.length = length;
                best.parameter = static_cast<uint8_t>(k << 6 | newest);
                best.reaches_end = position + length == content.size();
            }
            if (length == limit) return true;
        }
    }
    return false;
}

// Tries, in each group, the positions whose hash is `probe`'s as the
// sources of a copy at `position`, the hashes being those of `probe_at`, at
// or after `position`, at the same distances.
// Keeps in `best` the longest; true once one reaches `limit`.
template <typename Probe>
inline __attribute__((always_inline)) bool TryCopies(ByteSpan content, const DistanceRow& row,
                                                     const PositionHashes& hashes, size_t position, size_t probe_at,
                                                     const Probe& probe, size_t limit,
                                                     CopyMatch& best) {
    uint64_t found[4];
    FindCandidates(row, 4, hashes, position, probe_at, probe, found);
    return TryFound(content, row, position, found, limit, best);
}

template <typename Probe>
inline __attribute__((always_inline)) CopyMatch SearchCopies(ByteSpan content, const DistanceRow& row,
                                                             const PositionHashes& hashes, size_t position,
                                                             const Repeats* repeats) {
    CopyMatch best;
    if (position + 3 > content.size()) return best;
    size_t limit = std::min<size_t>(kMaxCopyBytes, content.size() - position);
    size_t run = repeats != nullptr ? std::min(repeats->run, limit) : RunFrom(content.data(), position, limit);
    size_t pattern =
        repeats != nullptr ? std::min(repeats->pattern, limit) : PairPatternFrom(content.data(), position, limit);
    // A run of a byte or a pair as long as the longest copy: only a copy
    // from another such run matches it, and inside runs positions hash
    // alike, too many to try a few. Rare, since a longer run covers more
    // than any copy: every distance is tried, nearest first.
    if (pattern == kMaxCopyBytes) {
        for (size_t k = 0; k < 4; ++k) {
            for (size_t adjust = kWindow; adjust-- > 0;) {
                size_t distance = row[k] - adjust;
                if (distance > position) break;
                if (MatchLength(content.data(), position, distance, static_cast<uint32_t>(limit)) == limit) {
                    best.length = static_cast<uint32_t>(limit);
                    best.parameter = static_cast<uint8_t>(k << 6 | adjust);
                    best.reaches_end = position + limit == content.size();
                    return best;
                }
            }
        }
        return best;
    }
    Probe here(hashes.At(position) & ~PositionHashes::kNeverMatches);
    if (run < 3 && TryCopies(content, row, hashes, position, position, here, limit, best)) return best;
    // Where a run of one byte or of a pair starts here, its inside either
    // has no hashes to look up or too many alike: a copy that reaches past
    // it is looked for by the three bytes where it ends (its last two and
    // the one after), at the same distances, and checked from here. That
    // finds a copy of the row above that begins inside a run.
    if (pattern >= 3 && pattern < limit && best.length <= pattern) {
        size_t probe_at = position + pattern - 2;
        Probe end(hashes.At(probe_at));
        TryCopies(content, row, hashes, position, probe_at, end, limit, best);
    }
    return best;
}

// The groups of both rows, narrow first: the two rows share 320 and 640,
// the narrow row's last groups and the wide row's first.
constexpr uint32_t kBothRows[6] = {kNarrowDistances[0], kNarrowDistances[1], kNarrowDistances[2],
                                   kNarrowDistances[3], kWideDistances[2],   kWideDistances[3]};
static_assert(kNarrowDistances[2] == kWideDistances[0] && kNarrowDistances[3] == kWideDistances[1]);

// SearchCopies for both methods at once, each finding exactly what it would
// alone: the shared groups are compared once, and the hash, the runs and
// the test for any candidate serve both.
template <typename Probe>
inline __attribute__((always_inline)) void SearchPaired(ByteSpan content, const PositionHashes& hashes,
                                                        size_t position, const Repeats& repeats, CopyMatch& wide,
                                                        CopyMatch& narrow) {
    wide = {};
    narrow = {};
    if (position + 3 > content.size()) return;
    size_t limit = std::min<size_t>(kMaxCopyBytes, content.size() - position);
    size_t run = std::min(repeats.run, limit);
    size_t pattern = std::min(repeats.pattern, limit);
    if (pattern == kMaxCopyBytes) {
        wide = SearchCopies<Probe>(content, kWideDistances, hashes, position, &repeats);
        narrow = SearchCopies<Probe>(content, kNarrowDistances, hashes, position, &repeats);
        return;
    }
    uint64_t found[6];
    bool wide_done = false, narrow_done = false;
    if (run < 3) {
        Probe here(hashes.At(position) & ~PositionHashes::kNeverMatches);
        FindCandidates(kBothRows, 6, hashes, position, position, here, found);
        if ((found[0] | found[1] | found[2] | found[3] | found[4] | found[5]) != 0) {
            narrow_done = TryFound(content, kNarrowDistances, position, found, limit, narrow);
            wide_done = TryFound(content, kWideDistances, position, found + 2, limit, wide);
        }
    }
    if (pattern >= 3 && pattern < limit) {
        bool wide_end = !wide_done && wide.length <= pattern;
        bool narrow_end = !narrow_done && narrow.length <= pattern;
        if (wide_end || narrow_end) {
            size_t probe_at = position + pattern - 2;
            Probe end(hashes.At(probe_at));
            FindCandidates(kBothRows, 6, hashes, position, probe_at, end, found);
            if (narrow_end) TryFound(content, kNarrowDistances, position, found, limit, narrow);
            if (wide_end) TryFound(content, kWideDistances, position, found + 2, limit, wide);
        }
    }
}

void SearchPairedNarrow(ByteSpan content, const PositionHashes& hashes, size_t position, const Repeats& repeats,
                        CopyMatch& wide, CopyMatch& narrow) {
    SearchPaired<NarrowProbe>(content, hashes, position, repeats, wide, narrow);
}

#if defined(KOVA_WIDE_HASH_COMPARE)
__attribute__((target("avx2"))) void SearchPairedWide(ByteSpan content, const PositionHashes& hashes,
                                                      size_t position, const Repeats& repeats, CopyMatch& wide,
                                                      CopyMatch& narrow) {
    SearchPaired<WideProbe>(content, hashes, position, repeats, wide, narrow);
}
#endif

CopyMatch SearchNarrow(ByteSpan content, const DistanceRow& row, const PositionHashes& hashes, size_t position,
                       const Repeats* repeats) {
    return SearchCopies<NarrowProbe>(content, row, hashes, position, repeats);
}

#if defined(KOVA_WIDE_HASH_COMPARE)
__attribute__((target("avx2"))) CopyMatch SearchWide(ByteSpan content, const DistanceRow& row,
                                                     const PositionHashes& hashes, size_t position,
                                                     const Repeats* repeats) {
    return SearchCopies<WideProbe>(content, row, hashes, position, repeats);
}
#endif

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

PositionHashes::PositionHashes(ByteSpan content, HashCompare compare) {
    size_t hashed = content.size() >= 3 ? content.size() - 2 : 0;
    hashes_.reset(new uint16_t[kPadding + hashed]);
    std::fill(hashes_.get(), hashes_.get() + kPadding, kNeverMatches);
    uint16_t* hashes = hashes_.get() + kPadding;
    const uint8_t* bytes = content.data();
    if (hashed > 0) {
        hashes[0] = HashOfThree(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16);
    }
    size_t x = 1;
#if defined(KOVA_WIDE_HASH_COMPARE)
    if (compare == HashCompare::kFastest && HasWideCompare()) x = HashSixteenAtATime(bytes, content.size(), hashes);
#else
    (void)compare;
#endif
    // Four bytes read at once: the three hashed and the one before, which
    // tells a run's inside. The last position's read ends at the last byte.
    for (; x < hashed; ++x) {
        uint32_t four;
        std::memcpy(&four, bytes + x - 1, 4);
        hashes[x] = HashOfFour(LittleEndian(four));
    }
}

HashedCopyFinder::HashedCopyFinder(ByteSpan content, uint8_t method, const PositionHashes& hashes,
                                   HashCompare compare)
    : content_(content), row_(DistancesOf(method)), hashes_(hashes) {
#if defined(KOVA_WIDE_HASH_COMPARE)
    wide_compare_ = compare == HashCompare::kFastest && HasWideCompare();
#else
    (void)compare;
#endif
}

CopyMatch HashedCopyFinder::At(size_t position, const Repeats* repeats) const {
#if defined(KOVA_WIDE_HASH_COMPARE)
    if (wide_compare_) return SearchWide(content_, row_, hashes_, position, repeats);
#endif
    return SearchNarrow(content_, row_, hashes_, position, repeats);
}

PairedCopyFinder::PairedCopyFinder(ByteSpan content, const PositionHashes& hashes, HashCompare compare)
    : content_(content), hashes_(hashes) {
#if defined(KOVA_WIDE_HASH_COMPARE)
    wide_compare_ = compare == HashCompare::kFastest && HasWideCompare();
#else
    (void)compare;
#endif
}

void PairedCopyFinder::At(size_t position, const Repeats& repeats, CopyMatch& wide, CopyMatch& narrow) const {
#if defined(KOVA_WIDE_HASH_COMPARE)
    if (wide_compare_) return SearchPairedWide(content_, hashes_, position, repeats, wide, narrow);
#endif
    SearchPairedNarrow(content_, hashes_, position, repeats, wide, narrow);
}

}  // namespace kova
