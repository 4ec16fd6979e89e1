#include "format/fast_parse.h"

#include <algorithm>

#include "format/copy_finder.h"
#include "format/repeat_scanner.h"

namespace kova {
namespace {

struct Candidate {
    Command command;
    int64_t saving = 0;  // literal bytes it replaces, less its own cost
};

void Consider(Candidate& best, CommandKind kind, uint32_t covered, uint8_t parameter = 0) {
    int64_t saving = static_cast<int64_t>(covered) - CommandCost(kind, covered);
    if (saving > best.saving) best = {{kind, covered, parameter}, saving};
}

class QuickPlanner {
public:
    QuickPlanner(ByteSpan content, uint8_t method, const PositionHashes& hashes)
        : content_(content), copies_(content, method, hashes), repeats_(content) {}

    // The best command at p, where it saves more than `must_beat`: a
    // search for copies is left out when no copy could.
    Candidate BestAt(size_t p, int64_t must_beat = INT64_MIN) {
        Candidate best;
        uint32_t run = static_cast<uint32_t>(repeats_.ByteRun(p));
        if (run >= kMinRunBytes) Consider(best, CommandKind::kByteRun, std::min(run, kMaxShortRunBytes));
        if (run > kMaxShortRunBytes) Consider(best, CommandKind::kLongByteRun, std::min(run, kMaxLongCount));
        uint32_t pairs = static_cast<uint32_t>(repeats_.PairPattern(p) / 2);
        if (pairs >= kMinPairs) Consider(best, CommandKind::kPairRun, 2 * std::min(pairs, kMaxShortPairs));
        if (pairs > kMaxShortPairs) Consider(best, CommandKind::kLongPairRun, 2 * std::min(pairs, kMaxLongCount));
        if (kMostCopySaving <= must_beat) return best;
        CopyMatch copy = copies_.At(p);
        if (copy.length >= kMinCopyBytes) Consider(best, CommandKind::kBackCopy, copy.length, copy.parameter);
        return best;
    }


private:
    ByteSpan content_;
    static constexpr int64_t kMostCopySaving = int64_t{kMaxCopyBytes} - 2;  // a copy costs two stream bytes
    HashedCopyFinder copies_;
    RepeatScanner repeats_;
};

}  // namespace

std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method) {
    return PlanQuickStream(content, method, PositionHashes(content));
}

std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method, const PositionHashes& hashes) {
    std::vector<Command> commands;
    QuickPlanner planner(content, method, hashes);
    size_t literal_start = 0;
    size_t p = 0;
    Candidate here = content.empty() ? Candidate{} : planner.BestAt(0);
    size_t misses = 0;  // positions in a row that offered nothing
    while (p < content.size()) {
        // Where nothing repeats for a while (sampled sound, packed data), look
        // at fewer positions: each costs a search, and they rarely pay.
        size_t step = here.saving <= 0 ? std::min(1 + (misses >> 6), content.size() - p) : 1;
        // The next position matters only if it saves more than one byte
        // over this one; when this one saves much, no copy there can.
        int64_t must_beat = here.saving <= 0 ? INT64_MIN : here.saving + 1;
        Candidate next = p + step < content.size() ? planner.BestAt(p + step, must_beat) : Candidate{};
        // A literal byte costs about one stream byte: take it when the next
        // position saves more than that over this one.
        if (here.saving <= 0 || next.saving > here.saving + 1) {
            misses = here.saving <= 0 ? misses + 1 : 0;
            p += step;
            here = next;
            continue;
        }
        misses = 0;
        if (p > literal_start) {
            commands.push_back({CommandKind::kLiteral, static_cast<uint32_t>(p - literal_start), 0});
        }
        commands.push_back(here.command);
        p += here.command.covered;
        literal_start = p;
        here = p < content.size() ? planner.BestAt(p) : Candidate{};
    }
    if (p > literal_start) commands.push_back({CommandKind::kLiteral, static_cast<uint32_t>(p - literal_start), 0});
    return commands;
}

}  // namespace kova
