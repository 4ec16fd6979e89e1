#include "format/fast_parse.h"

#include <algorithm>

#include "format/copy_finder.h"
#include "format/repeat_scanner.h"

namespace kova {
namespace {

// Keeps in `best` the command that covers the most content bytes; on a
// tie the one of fewer stored bytes.
void Offer(Command& best, CommandKind kind, uint32_t covered, uint8_t parameter = 0) {
    if (covered > best.covered ||
        (covered == best.covered && CommandCost(kind, covered) < CommandCost(best.kind, best.covered))) {
        best = {kind, covered, parameter};
    }
}

// One method's plan as it is made, position by position: at each, the
// command that covers the most content bytes (or one more literal byte).
class QuickPlan {
public:
    explicit QuickPlan(ByteSpan content) : content_(content), repeats_(content) {}

    size_t Position() const { return p_; }
    bool Done() const { return p_ >= content_.size(); }

    // The best byte run or pair run at the position (covering nothing when
    // neither fits), and the repeats there, which the copy search takes.
    Command Runs(Repeats& repeats) {
        Command best;
        size_t left = content_.size() - p_;
        repeats = {repeats_.ByteRun(p_), repeats_.PairPattern(p_)};
        uint32_t run = static_cast<uint32_t>(std::min<size_t>(repeats.run, kMaxLongCount));
        if (run >= kMinRunBytes) Offer(best, run <= kMaxShortRunBytes ? CommandKind::kByteRun : CommandKind::kLongByteRun, run);
        size_t pattern = repeats.pattern;
        // A pair run that reaches the end may stand for an odd count: the
        // full output cuts its last pair.
        size_t pairs = std::min<size_t>(pattern == left ? (pattern + 1) / 2 : pattern / 2, kMaxLongCount);
        if (pairs >= kMinPairs) {
            Offer(best, pairs <= kMaxShortPairs ? CommandKind::kPairRun : CommandKind::kLongPairRun,
                  static_cast<uint32_t>(std::min(2 * pairs, left)));
        }
        return best;
    }

    // A copy covers at most 66 bytes, for 2 stored bytes: past that a run
    // needs no search.
    static bool WantsCopy(const Command& runs) { return runs.covered <= kMaxCopyBytes; }

    // Takes the best of `runs` and `copy` at the position, or one more
    // literal byte where neither covers anything.
    void Take(Command best, const CopyMatch& copy) {
        if (copy.length >= kMinCopyBytes) Offer(best, CommandKind::kBackCopy, copy.length, copy.parameter);
        if (best.covered == 0) {
            ++p_;
            return;
        }
        if (p_ > literal_start_) commands_.push_back({CommandKind::kLiteral, static_cast<uint32_t>(p_ - literal_start_), 0});
        commands_.push_back(best);
        p_ += best.covered;
        literal_start_ = p_;
    }

    std::vector<Command> Finish();

private:
    ByteSpan content_;
    RepeatScanner repeats_;
    std::vector<Command> commands_;
    size_t p_ = 0;
    size_t literal_start_ = 0;
};

// One position of one method's plan, searched alone.
void Step(QuickPlan& plan, const HashedCopyFinder& copies) {
    Repeats repeats;
    Command runs = plan.Runs(repeats);
    CopyMatch copy;
    if (QuickPlan::WantsCopy(runs)) copy = copies.At(plan.Position(), &repeats);
    plan.Take(runs, copy);
}

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

std::vector<Command> QuickPlan::Finish() {
    if (p_ > literal_start_) commands_.push_back({CommandKind::kLiteral, static_cast<uint32_t>(p_ - literal_start_), 0});
    return AbsorbIntoLiterals(commands_);
}

}  // namespace

std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method) {
    return PlanQuickStream(content, method, PositionHashes(content));
}

std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method, const PositionHashes& hashes) {
    QuickPlan plan(content);
    HashedCopyFinder copies(content, method, hashes);
    while (!plan.Done()) Step(plan, copies);
    return plan.Finish();
}

void PlanQuickStreams(ByteSpan content, const PositionHashes& hashes, std::vector<Command>& wide,
                      std::vector<Command>& narrow) {
    QuickPlan wide_plan(content), narrow_plan(content);
    HashedCopyFinder wide_copies(content, kMethodCodedWide, hashes), narrow_copies(content, kMethodCodedNarrow, hashes);
    PairedCopyFinder both(content, hashes);
    // The plan that is behind takes its step alone; where both stand at
    // the same position (through every literal stretch, mostly) they share
    // the step: the same runs, and one search for both.
    while (!wide_plan.Done() || !narrow_plan.Done()) {
        if (narrow_plan.Done() || (!wide_plan.Done() && wide_plan.Position() < narrow_plan.Position())) {
            Step(wide_plan, wide_copies);
        } else if (wide_plan.Done() || narrow_plan.Position() < wide_plan.Position()) {
            Step(narrow_plan, narrow_copies);
        } else {
            Repeats repeats;
            Command runs = wide_plan.Runs(repeats);
            CopyMatch wide_copy, narrow_copy;
            if (QuickPlan::WantsCopy(runs)) both.At(wide_plan.Position(), repeats, wide_copy, narrow_copy);
            wide_plan.Take(runs, wide_copy);
            narrow_plan.Take(runs, narrow_copy);
        }
    }
    wide = wide_plan.Finish();
    narrow = narrow_plan.Finish();
}

}  // namespace kova
