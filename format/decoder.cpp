#include "format/decoder.h"

#include <algorithm>
#include <cstring>

namespace kova {
namespace {

// Writes `pairs` times the pair a b, cut at the end of room. The first pair
// is written, then what is written so far is copied after itself, doubling
// each time: an even length keeps the pattern's phase.
size_t WritePairs(uint8_t* out, size_t room, size_t pairs, uint8_t a, uint8_t b) {
    size_t count = std::min(room, pairs * 2);
    if (count == 0) return 0;
    out[0] = a;
    if (count == 1) return 1;
    out[1] = b;
    size_t filled = 2;
    while (filled < count) {
        size_t chunk = std::min(filled, count - filled);
        std::memcpy(out + filled, out, chunk);
        filled += chunk;
    }
    return count;
}

// Copies `count` bytes from `distance` bytes back, each byte written before
// the next is read, so a distance shorter than the count repeats the source.
// Copying in chunks no longer than the distance keeps each memcpy disjoint.
void CopyBack(uint8_t* at, size_t distance, size_t count) {
    while (count > 0) {
        size_t chunk = std::min(distance, count);
        std::memcpy(at, at - distance, chunk);
        at += chunk;
        count -= chunk;
    }
}

struct Decoded {
    size_t written;
    DecodeStop stop;
    size_t input_used;
};

// `n` > kCodedHeadSize and `m` > 0.
Decoded DecodeCommands(const uint8_t* in, size_t available, size_t n, const DistanceRow& distances,
                       uint8_t* out, size_t m) {
    size_t i = kCodedHeadSize;
    size_t p = 0;
    DecodeStop stop = DecodeStop::kInputExhausted;
    // Each command may rely on i < n and p < m at its start: the operand at i
    // exists, and there is room for at least one output byte.
    while (i < n && p < m) {
        uint8_t c = in[i++];
        if (c == kEndCommand) {
            stop = DecodeStop::kEndCommand;
            break;
        }
        if (i >= n) break;  // a control byte with nothing after it is dropped

        if (c <= kLastLiteral) {
            size_t count = std::min<size_t>({c, n - i, m - p});
            std::memcpy(out + p, in + i, count);
            i += count;
            p += count;
        } else if (c <= kLastByteRun) {
            size_t count = std::min<size_t>(c - kByteRunBias, m - p);
            std::memset(out + p, in[i], count);
            p += count;
            i += 1;
        } else if (c == kLongByteRun) {
            if (i + 1 >= n) break;
            size_t count = in[i] | (in[i + 1] << 8);
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
            p += WritePairs(out + p, m - p, c - kPairRunBias, in[i], in[i + 1]);
            i += 2;
        } else if (c == kLongPairRun) {
            if (i + 1 >= n) break;
            size_t pairs = in[i] | (in[i + 1] << 8);
            i += 2;
            if (i + 1 >= n) break;
            p += WritePairs(out + p, m - p, pairs, in[i], in[i + 1]);
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
            CopyBack(out + p, distance, count);
            p += count;
        }
    }
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
