#include "archive/window_decoder.h"

#include <algorithm>
#include <cstring>

namespace kova {
namespace {

// The output as a window over the content: bytes [0, pos) of `bytes` are
// content from `flushed` on. When it fills, the bytes not yet handed on go
// to the sink and the last kLongestReach stay, for back copies to read.
struct Window {
    uint8_t* bytes;
    size_t size;
    ContentSink sink;
    void* context;
    size_t pos = 0;
    size_t handed = 0;  // bytes [0, handed) have gone to the sink
    uint64_t flushed = 0;

    uint64_t Position() const { return flushed + pos; }
    size_t Room() const { return size - pos; }

    void HandOn() {
        if (sink != nullptr && pos > handed) sink(context, ByteSpan(bytes + handed, pos - handed));
        handed = pos;
    }
    void MakeRoom() {
        HandOn();
        size_t kept = std::min(pos, kLongestReach);
        std::memmove(bytes, bytes + pos - kept, kept);
        flushed += pos - kept;
        pos = kept;
        handed = kept;
    }
    // `count` bytes of the pattern a b a b ... (a run of one byte when a == b).
    void Fill(uint8_t a, uint8_t b, uint64_t count) {
        uint64_t done = 0;
        while (done < count) {
            if (Room() == 0) MakeRoom();
            size_t piece = static_cast<size_t>(std::min<uint64_t>(count - done, Room()));
            uint8_t* to = bytes + pos;
            if (a == b) {
                std::memset(to, a, piece);
            } else {
                uint8_t first = (done & 1) ? b : a, second = (done & 1) ? a : b;
                for (size_t k = 0; k + 1 < piece; k += 2) {
                    to[k] = first;
                    to[k + 1] = second;
                }
                if (piece & 1) to[piece - 1] = first;
            }
            pos += piece;
            done += piece;
        }
    }
    void Literal(const uint8_t* from, size_t count) {
        while (count > 0) {
            if (Room() == 0) MakeRoom();
            size_t piece = std::min(count, Room());
            std::memcpy(bytes + pos, from, piece);
            pos += piece;
            from += piece;
            count -= piece;
        }
    }
    // Byte by byte, each written before the next is read.
    void Copy(size_t distance, size_t count) {
        for (size_t k = 0; k < count; ++k) {
            if (Room() == 0) MakeRoom();
            bytes[pos] = bytes[pos - distance];
            ++pos;
        }
    }
};

inline uint64_t Le16(const uint8_t* at) { return static_cast<uint64_t>(at[0] | (at[1] << 8)); }

}  // namespace

bool DecodeInWindow(ByteSpan stored, size_t input_length, uint64_t capacity, HeapBuffer& window,
                    ContentSink sink, void* context, WindowedResult& result, size_t window_size) {
    result = WindowedResult{};
    size_t n = std::min(input_length, stored.size());
    if (capacity == 0) {
        result.stop = DecodeStop::kOutputFull;
        result.input_used = std::min(n, kCodedHeadSize);
        return true;
    }
    if (n <= kCodedHeadSize) {
        result.input_used = n;
        return true;
    }
    // Room for the reach back and a window of content after it, never more
    // than the whole content needs.
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(capacity, kLongestReach + std::max(window_size, size_t{1})));
    if (window.size < wanted) {
        window.Release();
        if (!window.Allocate(wanted)) return false;
    }
    Window out{window.data, wanted, sink, context};
    const uint8_t* in = stored.data();
    size_t available = stored.size();
    const DistanceRow& distances = DistancesOf(in[0]);
    uint64_t m = capacity;
    size_t i = kCodedHeadSize;
    DecodeStop stop = DecodeStop::kInputExhausted;
    // The careful loop of DecodeEntry, command for command: each may rely on
    // i < n and an output position below m at its start.
    while (i < n && out.Position() < m) {
        uint64_t room = m - out.Position();
        uint8_t c = in[i++];
        if (c == kEndCommand) {
            stop = DecodeStop::kEndCommand;
            break;
        }
        if (i >= n) break;
        if (c <= kLastLiteral) {
            size_t count = static_cast<size_t>(std::min<uint64_t>({c, n - i, room}));
            out.Literal(in + i, count);
            i += count;
        } else if (c <= kLastByteRun) {
            out.Fill(in[i], in[i], std::min<uint64_t>(c - kByteRunBias, room));
            i += 1;
        } else if (c == kLongByteRun) {
            if (i + 1 >= n) break;
            uint64_t count = Le16(in + i);
            i += 2;
            if (i >= available) break;
            out.Fill(in[i], in[i], std::min(count, room));
            i += 1;
        } else if (c <= kLastPairRun) {
            if (i + 1 >= n) break;
            out.Fill(in[i], in[i + 1], std::min<uint64_t>(2 * (c - kPairRunBias), room));
            i += 2;
        } else if (c == kLongPairRun) {
            if (i + 1 >= n) break;
            uint64_t pairs = Le16(in + i);
            i += 2;
            if (i + 1 >= n) break;
            out.Fill(in[i], in[i + 1], std::min(2 * pairs, room));
            i += 2;
        } else {
            uint8_t d = in[i++];
            if (i >= n) break;
            size_t distance = distances[d >> 6] - (d & kMaxDistanceAdjust);
            if (distance > out.Position()) {
                stop = DecodeStop::kCopyBeforeStart;
                break;
            }
            out.Copy(distance, static_cast<size_t>(std::min<uint64_t>(c - kBackCopyBias, room)));
        }
    }
    out.HandOn();
    result.written = out.Position();
    if (result.written >= m && stop == DecodeStop::kInputExhausted) stop = DecodeStop::kOutputFull;
    result.stop = stop;
    result.input_used = i;
    return true;
}

}  // namespace kova
