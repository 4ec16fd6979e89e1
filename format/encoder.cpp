#include "format/encoder.h"

#include <algorithm>

#include "format/coding.h"

namespace kova {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxLiteral = kLastLiteral;
constexpr size_t kMinRun = 3, kMaxShortRun = kLastByteRun - kByteRunBias;
constexpr size_t kMinPairs = 2, kMaxShortPairs = kLastPairRun - kPairRunBias;
constexpr size_t kMinCopy = 3, kMaxCopy = 0xFF - kBackCopyBias;
constexpr size_t kMaxLongCount = 0xFFFF;                   // the u16 of the long runs

// One command the encoder could emit at the current position.
struct Choice {
    enum Kind { kNone, kByteRun, kLongByteRun, kPairRun, kLongPairRun, kBackCopy } kind = kNone;
    size_t covered = 0;    // content bytes it produces
    size_t cost = 0;       // stream bytes it takes
    size_t count = 0;      // bytes, pairs or copy length, as the command counts
    uint8_t parameter = 0; // a back copy's distance byte

    long Saving() const { return static_cast<long>(covered) - static_cast<long>(cost); }
};

void Consider(Choice& best, const Choice& candidate) {
    if (candidate.kind != Choice::kNone && candidate.Saving() > best.Saving()) best = candidate;
}

Choice BestByteRun(ByteSpan content, size_t p) {
    size_t run = 1;
    while (p + run < content.size() && run < kMaxLongCount && content[p + run] == content[p]) ++run;
    Choice best;
    if (run >= kMinRun) Consider(best, {Choice::kByteRun, std::min(run, kMaxShortRun), 2, std::min(run, kMaxShortRun), 0});
    if (run > kMaxShortRun) Consider(best, {Choice::kLongByteRun, run, 4, run, 0});
    return best;
}

Choice BestPairRun(ByteSpan content, size_t p) {
    if (p + 1 >= content.size() || content[p] == content[p + 1]) return {};
    size_t pairs = 1;
    while (pairs < kMaxLongCount && p + 2 * pairs + 1 < content.size() && content[p + 2 * pairs] == content[p] &&
           content[p + 2 * pairs + 1] == content[p + 1]) {
        ++pairs;
    }
    Choice best;
    if (pairs >= kMinPairs) {
        size_t short_pairs = std::min(pairs, kMaxShortPairs);
        Consider(best, {Choice::kPairRun, 2 * short_pairs, 3, short_pairs, 0});
    }
    if (pairs > kMaxShortPairs) Consider(best, {Choice::kLongPairRun, 2 * pairs, 5, pairs, 0});
    return best;
}

// The longest copy from any distance the method's row can express. The
// source may overlap the bytes being produced: the decoder copies forward,
// byte by byte, and this compares the same way.
Choice BestBackCopy(ByteSpan content, size_t p, const DistanceRow& row) {
    Choice best;
    size_t longest = std::min(kMaxCopy, content.size() - p);
    if (longest < kMinCopy) return best;
    for (uint32_t k = 0; k < 4; ++k) {
        for (uint32_t adjust = 0; adjust <= kMaxDistanceAdjust; ++adjust) {
            size_t distance = row[k] - adjust;
            if (distance > p) continue;
            size_t length = 0;
            while (length < longest && content[p + length] == content[p + length - distance]) ++length;
            if (length >= kMinCopy && length > best.covered) {
                best = {Choice::kBackCopy, length, 2, length, static_cast<uint8_t>(k << 6 | adjust)};
            }
        }
    }
    return best;
}

void PutLe16(Bytes& out, size_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Emit(Bytes& out, const Choice& choice, ByteSpan content, size_t p, EncoderStats& stats) {
    switch (choice.kind) {
    case Choice::kByteRun:
        out.push_back(static_cast<uint8_t>(choice.count + kByteRunBias));
        out.push_back(content[p]);
        ++stats.byte_runs;
        break;
    case Choice::kLongByteRun:
        out.push_back(kLongByteRun);
        PutLe16(out, choice.count);
        out.push_back(content[p]);
        ++stats.long_byte_runs;
        break;
    case Choice::kPairRun:
        out.push_back(static_cast<uint8_t>(choice.count + kPairRunBias));
        out.push_back(content[p]);
        out.push_back(content[p + 1]);
        ++stats.pair_runs;
        break;
    case Choice::kLongPairRun:
        out.push_back(kLongPairRun);
        PutLe16(out, choice.count);
        out.push_back(content[p]);
        out.push_back(content[p + 1]);
        ++stats.long_pair_runs;
        break;
    case Choice::kBackCopy:
        out.push_back(static_cast<uint8_t>(choice.count + kBackCopyBias));
        out.push_back(choice.parameter);
        ++stats.back_copies;
        break;
    case Choice::kNone:
        break;
    }
}

void FlushLiterals(Bytes& out, ByteSpan content, size_t& start, size_t end, EncoderStats& stats) {
    while (start < end) {
        size_t count = std::min(kMaxLiteral, end - start);
        out.push_back(static_cast<uint8_t>(count));
        out.insert(out.end(), content.data() + start, content.data() + start + count);
        start += count;
        ++stats.literals;
    }
}

}  // namespace

bool EncodeEntry(uint8_t method, ByteSpan content, std::vector<uint8_t>& stored, EncoderStats* stats) {
    if (!IsCodedMethod(method) || content.size() > UINT32_MAX) return false;
    const DistanceRow& row = DistancesOf(method);

    EncoderStats counted;
    Bytes out(kCodedHeadSize);
    out[0] = method;
    WriteLe32(out, 1, static_cast<uint32_t>(content.size()));
    size_t literal_start = 0;
    size_t p = 0;
    while (p < content.size()) {
        // Greedy: the command that saves the most stream bytes here, or a
        // literal byte when none saves any.
        Choice best;
        Consider(best, BestByteRun(content, p));
        Consider(best, BestPairRun(content, p));
        Consider(best, BestBackCopy(content, p, row));
        if (best.kind == Choice::kNone || best.Saving() <= 0) {
            ++p;
            continue;
        }
        FlushLiterals(out, content, literal_start, p, counted);
        Emit(out, best, content, p, counted);
        p += best.covered;
        literal_start = p;
    }
    FlushLiterals(out, content, literal_start, p, counted);
    // The end command. Without it a final back copy would be dropped: the
    // decoder ignores a copy whose parameter is the last stored byte.
    out.push_back(kEndCommand);
    if (stats != nullptr) *stats = counted;
    stored = std::move(out);
    return true;
}

bool MayBeStoredAsIs(ByteSpan content) { return content.empty() || !IsCodedMethod(content[0]); }

}  // namespace kova
