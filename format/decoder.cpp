#include "format/decoder.h"

#include <algorithm>
#include <cstring>

// The decoder's one rule: whatever the bytes say, it never reads outside the
// stored bytes and never writes outside the output. Two loops share the work
// and both keep it:
//
// - The fast loop runs only while the input holds a whole command of the
//   longest kind (a 63-byte literal and its control byte) and the output has
//   room for the most any short command writes (64 pairs). Inside that
//   margin no operand can be missing and no short command can be cut, so it
//   checks nothing but the back copy's reach and the long runs' counts, and
//   moves bytes in fixed-size blocks. A command of up to 32 bytes, most of
//   them in pictures and sounds, writes 32 bytes whatever its count: one
//   path with no test of the count, whose extra bytes the commands after it
//   overwrite.
// - The careful loop takes over near the ends of input and output, checking
//   every operand and cutting every command at the end of room.
//
// What the decode leaves is exactly what a byte-at-a-time decoder would
// write, and nothing past it: bytes the stream never writes keep what the
// caller put there (zeros in an extracted entry's block). The fast loop's
// extra bytes lie at most 32 past the command that wrote them; each of its
// commands first keeps the 32 bytes it may spoil, and once decoding stops,
// those kept by the last 32 commands put back whatever lies past the last
// byte written. Longer commands' blocks never reach beyond their own last
// byte; counts that are not a multiple of the block size end with one block
// placed flush against that last byte, overlapping the one before it.
namespace kova {
namespace {

// Every back copy reaches at least this far, which is what lets a copy move
// 16 bytes at a time (below).
constexpr size_t kBlock = 16;
constexpr size_t kShortestReach = kNarrowDistances[0] - kMaxDistanceAdjust;
static_assert(kShortestReach > kBlock, "a 16-byte block of a back copy must not read what it writes");
static_assert(kWideDistances[0] - kMaxDistanceAdjust >= kShortestReach);

// The fast loop's margins: the most input one command other than a long
// run takes, and the most output a short command writes with the 32 bytes
// after it that it keeps (below).
constexpr size_t kSpill = 32;
constexpr size_t kFastInput = 1 + kLastLiteral;
constexpr size_t kFastOutput = 2 * (kLastPairRun - kPairRunBias) + kSpill;

template <size_t N>
inline void Move(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, N);
}

static_assert(kShortestReach > kSpill / 2, "each 16-byte half of a spilling copy reads only final bytes");
static_assert(kFastOutput >= 3 * kSpill, "a short command's spill and keep stay inside the fast loop's room");

// The caller's bytes past where the fast loop has written. Before its
// writes, each command keeps the 32 bytes from max(count, 32) past its
// start, which nothing has written yet: a command only ever spoils bytes
// less than 32 past its own start, and the command before those that start
// within 32 bytes of a spoiled byte has kept it (or the loop's first keep
// has, of the output's first 32 bytes). Each kept byte is the caller's, so once
// decoding stops, every kept byte at or past the last one written is put
// back; the last 64 keeps are enough, since no command after the one that
// kept a byte starts more than 32 bytes before it.
class SpillGuard {
public:
    // The output's first bytes, where the fast loop will run (`m` bytes
    // of room are at least its margin).
    SpillGuard(const uint8_t* out, size_t m) : first_length_(m >= kFastOutput ? kSpill : 0) {
        if (first_length_ > 0) std::memcpy(first_, out, kSpill);
    }

    // Keeps the kSpill bytes at `at`, before the command that will spoil
    // some of them writes.
    static void Keep(uint8_t (&bytes)[kSpill], const uint8_t* out) { std::memcpy(bytes, out, kSpill); }

    uint8_t (&Slot(size_t keeps, size_t at))[kSpill] {
        size_t slot = keeps % kKeeps;
        kept_at_[slot] = at;
        return kept_[slot];
    }

    // Puts the kept bytes from `end` on back into `out`.
    void Restore(uint8_t* out, size_t end, size_t keeps) const {
        for (size_t x = end; x < first_length_; ++x) out[x] = first_[x];
        size_t entries = std::min(keeps, kKeeps);
        for (size_t k = 0; k < entries; ++k) {
            size_t at = kept_at_[k];
            for (size_t x = std::max(at, end); x < at + kSpill; ++x) out[x] = kept_[k][x - at];
        }
    }

private:
    static constexpr size_t kKeeps = 64;
    size_t first_length_;
    uint8_t first_[kSpill];
    size_t kept_at_[kKeeps];
    uint8_t kept_[kKeeps][kSpill];
};

// Copies `count` bytes from `from` to `to`, in the order a byte-at-a-time
// copy would. `from` is either other memory or lies more than 16 bytes
// before `to` (a back copy): then no block reads a byte it writes itself,
// and every byte a block reads already holds its final value, written by an
// earlier block or before the copy began, even when the source runs into
// the bytes being copied.
inline void CopyForward(uint8_t* to, const uint8_t* from, size_t count) {
    if (count >= kBlock) {
        for (size_t k = 0; k + kBlock < count; k += kBlock) Move<kBlock>(to + k, from + k);
        Move<kBlock>(to + count - kBlock, from + count - kBlock);
    } else if (count >= 8) {
        Move<8>(to, from);
        Move<8>(to + count - 8, from + count - 8);
    } else if (count >= 4) {
        Move<4>(to, from);
        Move<4>(to + count - 4, from + count - 4);
    } else {
        for (size_t k = 0; k < count; ++k) to[k] = from[k];
    }
}

// Eight bytes of a run: a b a b a b a b (a == b for a byte run), and the
// same shifted by one, for a block that starts at an odd offset.
struct RunPattern {
    uint8_t even[8];
    uint8_t odd[8];
};

inline RunPattern PatternOf(uint8_t a, uint8_t b) {
    return {{a, b, a, b, a, b, a, b}, {b, a, b, a, b, a, b, a}};
}

inline const uint8_t* PhaseAt(const RunPattern& pattern, size_t offset) {
    return (offset & 1) ? pattern.odd : pattern.even;
}

// Writes the first `count` bytes of the repeated pattern at `to`.
inline void FillRun(uint8_t* to, const RunPattern& pattern, size_t count) {
    if (count >= 8) {
        size_t k = 0;
        for (; k + kBlock <= count; k += kBlock) {
            Move<8>(to + k, pattern.even);
            Move<8>(to + k + 8, pattern.even);
        }
        if (k + 8 <= count) {
            Move<8>(to + k, pattern.even);
            k += 8;
        }
        if (k < count) Move<8>(to + count - 8, PhaseAt(pattern, count - 8));
    } else if (count >= 4) {
        Move<4>(to, pattern.even);
        Move<4>(to + count - 4, PhaseAt(pattern, count - 4));
    } else {
        for (size_t k = 0; k < count; ++k) to[k] = pattern.even[k];
    }
}

// A short command's 32 bytes: two halves in order, so that a back copy
// reaching 17 to 31 bytes back reads in its second half what its first
// wrote.
inline void Spill(uint8_t* to, const uint8_t* from) {
    Move<16>(to, from);
    Move<16>(to + 16, from + 16);
}

// 32 bytes of a b a b ... (a == b for a byte run).
inline void SpillRun(uint8_t* to, uint8_t a, uint8_t b) {
    uint8_t pattern[16];
    for (size_t k = 0; k < 16; k += 2) {
        pattern[k] = a;
        pattern[k + 1] = b;
    }
    Move<16>(to, pattern);
    Move<16>(to + 16, pattern);
}

inline size_t Le16(const uint8_t* at) { return static_cast<size_t>(at[0] | (at[1] << 8)); }

struct Decoded {
    size_t written;
    DecodeStop stop;
    size_t input_used;
};

// `n` > kCodedHeadSize and `m` > 0; `available` >= `n` bytes of `in` exist.
Decoded DecodeCommands(const uint8_t* in, size_t available, size_t n, const DistanceRow& distances,
                       uint8_t* out, size_t m) {
    size_t i = kCodedHeadSize;
    size_t p = 0;

    // The fast loop: i <= n and p <= m throughout, and at the top of each
    // round a whole command's operands lie before n and a short command's
    // output, spill included, fits before m.
    SpillGuard guard(out, m);
    size_t keeps = 0;
    // Keeps the 32 bytes past a command of `count` bytes at p (or past its
    // 32-byte spill).
    auto keep = [&](size_t count) {
        size_t at = p + std::max(count, kSpill);
        SpillGuard::Keep(guard.Slot(keeps++, at), out + at);
    };
    DecodeStop stop = DecodeStop::kInputExhausted;
    bool stopped = false;
    while (n - i >= kFastInput && m - p >= kFastOutput) {
        uint8_t c = in[i++];
        if (c > kLongPairRun) {
            uint8_t d = in[i++];
            size_t distance = distances[d >> 6] - (d & kMaxDistanceAdjust);
            if (p < distance) {
                stop = DecodeStop::kCopyBeforeStart;
                stopped = true;
                break;
            }
            size_t count = c - kBackCopyBias;
            keep(count);
            if (count <= kSpill) Spill(out + p, out + p - distance);
            else CopyForward(out + p, out + p - distance, count);
            p += count;
        } else if (c <= kLastLiteral) {
            if (c == kEndCommand) {
                stop = DecodeStop::kEndCommand;
                stopped = true;
                break;
            }
            keep(c);
            if (c <= kSpill) Spill(out + p, in + i);
            else CopyForward(out + p, in + i, c);
            i += c;
            p += c;
        } else if (c <= kLastByteRun) {
            size_t count = c - kByteRunBias;
            keep(count);
            if (count <= kSpill) SpillRun(out + p, in[i], in[i]);
            else FillRun(out + p, PatternOf(in[i], in[i]), count);
            i += 1;
            p += count;
        } else if (c <= kLastPairRun) {
            if (c == kLongByteRun) {
                size_t count = std::min(Le16(in + i), m - p);
                // Past the end of room no command of this loop follows to
                // spoil anything.
                if (m - p - count >= kSpill) keep(count);
                std::memset(out + p, in[i + 2], count);
                i += 3;
                p += count;
            } else {
                size_t count = 2 * (c - kPairRunBias);
                keep(count);
                if (count <= kSpill) SpillRun(out + p, in[i], in[i + 1]);
                else FillRun(out + p, PatternOf(in[i], in[i + 1]), count);
                i += 2;
                p += count;
            }
        } else {
            size_t count = std::min(2 * Le16(in + i), m - p);
            if (m - p - count >= kSpill) keep(count);
            FillRun(out + p, PatternOf(in[i + 2], in[i + 3]), count);
            i += 4;
            p += count;
        }
    }

    // The careful loop: each command may rely on i < n and p < m at its
    // start (the operand at i exists, and there is room for one byte), and
    // checks the rest.
    while (!stopped && i < n && p < m) {
        uint8_t c = in[i++];
        if (c == kEndCommand) {
            stop = DecodeStop::kEndCommand;
            break;
        }
        if (i >= n) break;  // a control byte with nothing after it is dropped

        if (c <= kLastLiteral) {
            size_t count = std::min<size_t>({c, n - i, m - p});
            CopyForward(out + p, in + i, count);
            i += count;
            p += count;
        } else if (c <= kLastByteRun) {
            size_t count = std::min<size_t>(c - kByteRunBias, m - p);
            FillRun(out + p, PatternOf(in[i], in[i]), count);
            p += count;
            i += 1;
        } else if (c == kLongByteRun) {
            if (i + 1 >= n) break;
            size_t count = Le16(in + i);
            i += 2;
            // The value byte may sit just past the input length; it counts
            // only while it is one of the entry's own bytes.
            if (i >= available) break;
            count = std::min(count, m - p);
            std::memset(out + p, in[i], count);
            p += count;
            i += 1;
        } else if (c <= kLastPairRun) {
            if (i + 1 >= n) break;
            size_t count = std::min<size_t>(2 * (c - kPairRunBias), m - p);
            FillRun(out + p, PatternOf(in[i], in[i + 1]), count);
            p += count;
            i += 2;
        } else if (c == kLongPairRun) {
            if (i + 1 >= n) break;
            size_t pairs = Le16(in + i);
            i += 2;
            if (i + 1 >= n) break;
            size_t count = std::min(2 * pairs, m - p);
            FillRun(out + p, PatternOf(in[i], in[i + 1]), count);
            p += count;
            i += 2;
        } else {
            uint8_t d = in[i++];
            if (i >= n) break;  // a copy whose parameter is the last byte is dropped
            size_t distance = distances[d >> 6] - (d & kMaxDistanceAdjust);
            // A source before the start of the output is corrupt data: stop
            // rather than invent bytes for it.
            if (distance > p) {
                stop = DecodeStop::kCopyBeforeStart;
                break;
            }
            size_t count = std::min<size_t>(c - kBackCopyBias, m - p);
            CopyForward(out + p, out + p - distance, count);
            p += count;
        }
    }
    guard.Restore(out, p, keeps);
    if (p >= m && stop == DecodeStop::kInputExhausted) stop = DecodeStop::kOutputFull;
    return {p, stop, i};
}

}  // namespace

DecodeResult DecodeEntry(ByteSpan stored, size_t input_length, MutableByteSpan out) {
    size_t n = std::min(input_length, stored.size());
    uint8_t method_byte = ByteAt(stored, 0);
    if (!IsCodedMethod(method_byte)) {
        // Stored as it is: the content is the bytes themselves, method byte
        // included.
        size_t count = std::min(n, out.size());
        if (count > 0) std::memcpy(out.data(), stored.data(), count);
        return {false, count, count < n ? DecodeStop::kOutputFull : DecodeStop::kInputExhausted, count};
    }
    if (out.empty()) return {true, 0, DecodeStop::kOutputFull, std::min(n, kCodedHeadSize)};
    if (n <= kCodedHeadSize) return {true, 0, DecodeStop::kInputExhausted, n};
    Decoded decoded = DecodeCommands(stored.data(), stored.size(), n, DistancesOf(method_byte), out.data(), out.size());
    return {true, decoded.written, decoded.stop, decoded.input_used};
}

}  // namespace kova
