#include "tests/support/greedy_reference.h"

#include <algorithm>

#include "format/command_stream.h"
#include "format/copy_finder.h"
#include "format/encoder.h"
#include "format/repeat_scanner.h"

namespace kova::testing {

std::vector<uint8_t> GreedyEntry(ByteSpan content, uint8_t method) {
    ExhaustiveCopyFinder copies(content, method);
    RepeatScanner repeats(content);
    std::vector<uint8_t> stored = {method, 0, 0, 0, 0};
    WriteLe32(stored, 1, static_cast<uint32_t>(content.size()));
    EncoderStats stats;
    size_t literal_start = 0, p = 0;
    bool last_was_copy = false;
    while (p < content.size()) {
        size_t left = content.size() - p;
        Command best;
        auto offer = [&](CommandKind kind, size_t covered, uint8_t parameter = 0) {
            uint32_t count = static_cast<uint32_t>(covered);
            if (count > best.covered ||
                (count == best.covered && CommandCost(kind, count) < CommandCost(best.kind, best.covered))) {
                best = {kind, count, parameter};
            }
        };
        size_t run = std::min<size_t>(repeats.ByteRun(p), kMaxLongCount);
        if (run >= kMinRunBytes) offer(run <= kMaxShortRunBytes ? CommandKind::kByteRun : CommandKind::kLongByteRun, run);
        size_t pattern = repeats.PairPattern(p);
        // A pair run that reaches the end may cover an odd count: its last
        // pair is cut by the full output.
        size_t pairs = std::min<size_t>(pattern == left ? (pattern + 1) / 2 : pattern / 2, kMaxLongCount);
        if (pairs >= kMinPairs) {
            offer(pairs <= kMaxShortPairs ? CommandKind::kPairRun : CommandKind::kLongPairRun,
                  std::min(2 * pairs, left));
        }
        CopyMatch copy = copies.At(p);
        if (copy.length >= kMinCopyBytes) offer(CommandKind::kBackCopy, copy.length, copy.parameter);
        if (best.covered == 0) {
            ++p;
            continue;
        }
        AppendLiterals(stored, content, literal_start, p, stats);
        AppendCommand(stored, best, content, p, stats);
        last_was_copy = best.kind == CommandKind::kBackCopy;
        p += best.covered;
        literal_start = p;
    }
    if (p > literal_start) {
        AppendLiterals(stored, content, literal_start, p, stats);
        last_was_copy = false;
    }
    // The decoder drops a copy whose parameter is the last stored byte.
    if (last_was_copy) stored.push_back(kEndCommand);
    return stored;
}

size_t GreedyPackedSize(ByteSpan content) {
    size_t best = std::min(GreedyEntry(content, kMethodCodedWide).size(), GreedyEntry(content, kMethodCodedNarrow).size());
    if (MayBeStoredAsIs(content)) best = std::min(best, content.size());
    return best;
}

}  // namespace kova::testing
