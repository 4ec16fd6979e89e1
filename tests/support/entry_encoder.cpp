#include "tests/support/entry_encoder.h"

#include <algorithm>
#include <stdexcept>

namespace kova::testing {
namespace {

constexpr uint32_t kWideDistances[4] = {320, 640, 1280, 2560};
constexpr uint32_t kNarrowDistances[4] = {80, 160, 320, 640};
// A copy reaches `row[k] - adjust` back, adjust being 0 to 63.
constexpr uint32_t kMaxAdjust = 63;

constexpr size_t kMaxLiteral = 0x3F;
constexpr size_t kMinRun = 3, kMaxShortRun = 65;           // 0x40-0x7E: count + 61
constexpr size_t kMinPairs = 2, kMaxShortPairs = 64;       // 0x80-0xBE: pairs + 126
constexpr size_t kMinCopy = 3, kMaxCopy = 66;              // 0xC0-0xFF: count + 189
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

Choice BestByteRun(const Bytes& content, size_t p) {
    size_t run = 1;
    while (p + run < content.size() && run < kMaxLongCount && content[p + run] == content[p]) ++run;
    Choice best;
    if (run >= kMinRun) Consider(best, {Choice::kByteRun, std::min(run, kMaxShortRun), 2, std::min(run, kMaxShortRun), 0});
    if (run > kMaxShortRun) Consider(best, {Choice::kLongByteRun, run, 4, run, 0});
    return best;
}

Choice BestPairRun(const Bytes& content, size_t p) {
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
Choice BestBackCopy(const Bytes& content, size_t p, const uint32_t (&row)[4]) {
    Choice best;
    size_t longest = std::min(kMaxCopy, content.size() - p);
    if (longest < kMinCopy) return best;
    for (uint32_t k = 0; k < 4; ++k) {
        for (uint32_t adjust = 0; adjust <= kMaxAdjust; ++adjust) {
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

void Emit(Bytes& out, const Choice& choice, const Bytes& content, size_t p, EncoderStats& stats) {
    switch (choice.kind) {
    case Choice::kByteRun:
        out.push_back(static_cast<uint8_t>(choice.count + 61));
        out.push_back(content[p]);
        ++stats.byte_runs;
        break;
    case Choice::kLongByteRun:
        out.push_back(0x7F);
        PutLe16(out, choice.count);
        out.push_back(content[p]);
        ++stats.long_byte_runs;
        break;
    case Choice::kPairRun:
        out.push_back(static_cast<uint8_t>(choice.count + 126));
        out.push_back(content[p]);
        out.push_back(content[p + 1]);
        ++stats.pair_runs;
        break;
    case Choice::kLongPairRun:
        out.push_back(0xBF);
        PutLe16(out, choice.count);
        out.push_back(content[p]);
        out.push_back(content[p + 1]);
        ++stats.long_pair_runs;
        break;
    case Choice::kBackCopy:
        out.push_back(static_cast<uint8_t>(choice.count + 189));
        out.push_back(choice.parameter);
        ++stats.back_copies;
        break;
    case Choice::kNone:
        break;
    }
}

void FlushLiterals(Bytes& out, const Bytes& content, size_t& start, size_t end, EncoderStats& stats) {
    while (start < end) {
        size_t count = std::min(kMaxLiteral, end - start);
        out.push_back(static_cast<uint8_t>(count));
        out.insert(out.end(), content.begin() + static_cast<long>(start), content.begin() + static_cast<long>(start + count));
        start += count;
        ++stats.literals;
    }
}

}  // namespace

Bytes EncodeEntry(uint8_t method, const Bytes& content, EncoderStats* stats) {
    uint8_t low = method & 0x7F;
    if (low != 1 && low != 2) throw std::invalid_argument("coded entries use method 1 or 2");
    if (content.size() > UINT32_MAX) throw std::invalid_argument("content too large for an entry");
    const uint32_t(&row)[4] = low == 1 ? kWideDistances : kNarrowDistances;

    EncoderStats counted;
    Bytes out = CodedEntry(method, static_cast<uint32_t>(content.size()), {});
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
    out.push_back(0x00);
    if (stats != nullptr) *stats = counted;
    return out;
}

Bytes StoreEntry(const Bytes& content) {
    if (!content.empty() && ((content[0] & 0x7F) == 1 || (content[0] & 0x7F) == 2)) {
        throw std::invalid_argument("content starting with this byte would read as coded; encode it instead");
    }
    return content;
}

}  // namespace kova::testing
