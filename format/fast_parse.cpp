#include "format/fast_parse.h"

#include <algorithm>

#include "format/copy_finder.h"
#include "format/repeat_scanner.h"

namespace kova {
namespace {

// The command that covers the most content bytes from `p`, or one that
// covers nothing when no command fits there. On a tie the one of fewer
// stored bytes.
class CoverFinder {
public:
    CoverFinder(ByteSpan content, uint8_t method, const PositionHashes& hashes)
        : content_(content), copies_(content, method, hashes), repeats_(content) {}

    Command At(size_t p) {
        best_ = {};
        size_t left = content_.size() - p;
        Repeats repeats{repeats_.ByteRun(p), repeats_.PairPattern(p)};
        uint32_t run = static_cast<uint32_t>(std::min<size_t>(repeats.run, kMaxLongCount));
        if (run >= kMinRunBytes) Offer(run <= kMaxShortRunBytes ? CommandKind::kByteRun : CommandKind::kLongByteRun, run);
        size_t pattern = repeats.pattern;
        // A pair run that reaches the end may stand for an odd count: the
        // full output cuts its last pair.
        size_t pairs = std::min<size_t>(pattern == left ? (pattern + 1) / 2 : pattern / 2, kMaxLongCount);
        if (pairs >= kMinPairs) {
            Offer(pairs <= kMaxShortPairs ? CommandKind::kPairRun : CommandKind::kLongPairRun,
                  static_cast<uint32_t>(std::min(2 * pairs, left)));
        }
        // A copy covers at most 66 bytes, for 2 stored bytes: past that a
        // run needs no search.
        if (best_.covered <= kMaxCopyBytes) {
            CopyMatch copy = copies_.At(p, &repeats);
            if (copy.length >= kMinCopyBytes) Offer(CommandKind::kBackCopy, copy.length, copy.parameter);
        }
        return best_;
    }

private:
    void Offer(CommandKind kind, uint32_t covered, uint8_t parameter = 0) {
        if (covered > best_.covered ||
            (covered == best_.covered && CommandCost(kind, covered) < CommandCost(best_.kind, best_.covered))) {
            best_ = {kind, covered, parameter};
        }
    }

    ByteSpan content_;
    HashedCopyFinder copies_;
    RepeatScanner repeats_;
    Command best_;
};

// Stream bytes of a literal stretch of `count` bytes, 63 at most a command.
uint64_t LiteralCost(uint64_t count) { return count + (count + kMaxLiteralBytes - 1) / kMaxLiteralBytes; }

// Folds a command into the literals around it wherever one literal stretch
// costs fewer stream bytes than the two and the command: a 3-byte run
// between literals saves nothing, and breaks the stretch at the wrong place
// for its 63-byte commands. Each fold makes the stream shorter, never
// longer, so the plan stays at most as long as the greedy one.
std::vector<Command> AbsorbIntoLiterals(const std::vector<Command>& commands) {
    std::vector<Command> out;
    out.reserve(commands.size());
    for (size_t k = 0; k < commands.size(); ++k) {
        const Command& command = commands[k];
        bool after_literal = !out.empty() && out.back().kind == CommandKind::kLiteral;
        if (command.kind == CommandKind::kLiteral) {
            if (after_literal) out.back().covered += command.covered;
            else out.push_back(command);
            continue;
        }
        uint64_t before = after_literal ? out.back().covered : 0;
        bool next_literal = k + 1 < commands.size() && commands[k + 1].kind == CommandKind::kLiteral;
        uint64_t after = next_literal ? commands[k + 1].covered : 0;
        // A final back copy takes the end command after it.
        bool last = k + 1 == commands.size();
        uint64_t own = CommandCost(command.kind, command.covered) + (last && command.kind == CommandKind::kBackCopy ? 1 : 0);
        uint64_t apart = LiteralCost(before) + own + LiteralCost(after);
        uint64_t merged = before + command.covered + after;
        if (LiteralCost(merged) > apart || merged > UINT32_MAX) {
            out.push_back(command);
            continue;
        }
        if (after_literal) out.back().covered = static_cast<uint32_t>(merged);
        else out.push_back({CommandKind::kLiteral, static_cast<uint32_t>(merged), 0});
        if (next_literal) ++k;
    }
    return out;
}

}  // namespace

std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method) {
    return PlanQuickStream(content, method, PositionHashes(content));
}

std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method, const PositionHashes& hashes) {
    std::vector<Command> commands;
    CoverFinder finder(content, method, hashes);
    size_t literal_start = 0;
    size_t p = 0;
    while (p < content.size()) {
        Command here = finder.At(p);
        if (here.covered == 0) {
            ++p;
            continue;
        }
        if (p > literal_start) {
            commands.push_back({CommandKind::kLiteral, static_cast<uint32_t>(p - literal_start), 0});
        }
        commands.push_back(here);
        p += here.covered;
        literal_start = p;
    }
    if (p > literal_start) commands.push_back({CommandKind::kLiteral, static_cast<uint32_t>(p - literal_start), 0});
    return AbsorbIntoLiterals(commands);
}

}  // namespace kova
