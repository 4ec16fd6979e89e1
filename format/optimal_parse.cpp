#include "format/optimal_parse.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <queue>

#include "format/copy_finder.h"
#include "format/repeat_scanner.h"

namespace kova {
namespace {

// The ways to go on from a position p, other than literals, each reaching a
// range of positions at one cost: every q with first <= q - p and q <= last.
// Pair runs reach every second position only. The short range (a byte run
// or a back copy, at most 66 bytes) is settled apart, by relaxing each
// position it reaches; the others can reach far and wait in heaps.
enum RangeKind : uint8_t { kShortRange, kLongRunRange, kPairRange, kLongPairRange, kRangeKinds };
constexpr int kFirstHeapRange = kLongRunRange;
constexpr uint32_t kNear = 128;  // a power of two past the short range's reach

struct RangeShape {
    uint32_t first;  // the shortest step
    uint32_t cost;
    bool pairs;
};

constexpr RangeShape kShapes[kRangeKinds] = {
    {kMinRunBytes, 2, false},              // a byte run or a back copy, 3 to 66 bytes
    {kMaxShortRunBytes + 1, 4, false},     // a long byte run, beyond what a short one covers
    {2 * kMinPairs, 3, true},              // a pair run
    {2 * (kMaxShortPairs + 1), 5, true},   // a long pair run
};

struct Range {
    uint64_t total;      // the path's cost up to p, plus the command
    uint32_t from;       // p
    uint32_t last;       // the farthest position reached
    bool operator>(const Range& other) const { return total > other.total; }
};

using RangeHeap = std::priority_queue<Range, std::vector<Range>, std::greater<Range>>;

// The best way found to reach one position.
struct Step {
    uint32_t from = 0;
    CommandKind kind = CommandKind::kLiteral;
    uint8_t parameter = 0;
};

class ShortestPath {
public:
    ShortestPath(ByteSpan content, uint8_t method)
        : content_(content), size_(static_cast<uint32_t>(content.size())), copies_(content, method),
          repeats_(content), cost_(size_ + 1, UINT64_MAX), steps_(size_ + 1) {
        std::fill(std::begin(near_total_), std::end(near_total_), UINT64_MAX);
    }

    std::vector<Command> Run();

private:
    void Leave(uint32_t p);
    void Arrive(uint32_t q);
    void OfferFinish(uint32_t p, uint32_t cost, CommandKind kind, uint8_t parameter = 0);
    std::vector<Command> Trace() const;

    ByteSpan content_;
    uint32_t size_;
    ExhaustiveCopyFinder copies_;
    RepeatScanner repeats_;
    std::vector<uint64_t> cost_;
    std::vector<Step> steps_;
    // Ranges wait here until their first position comes, then go to the
    // heaps (one per parity for pair runs), where the cheapest one still
    // reaching the current position is on top.
    std::deque<Range> waiting_[kRangeKinds];
    RangeHeap heaps_[kRangeKinds][2];
    // The short range's offers for the positions just ahead, by q % kNear,
    // and what each recent p could write there (by p % kNear).
    uint64_t near_total_[kNear];
    uint32_t near_from_[kNear];
    uint8_t parameter_of_[kNear];
    uint8_t run_of_[kNear];
    // Literal steps: positions within 63 before the current one, by
    // increasing cost - position, so the front gives the cheapest literal.
    std::deque<uint32_t> literal_starts_;
    // The best stream that ends with a command covering everything left
    // (a run or copy may be written longer, the decoder stops at the end).
    uint64_t finish_cost_ = UINT64_MAX;
    Step finish_;
};

int64_t LiteralKey(uint64_t cost, uint32_t p) { return static_cast<int64_t>(cost) - static_cast<int64_t>(p); }

void ShortestPath::OfferFinish(uint32_t p, uint32_t cost, CommandKind kind, uint8_t parameter) {
    if (cost_[p] + cost < finish_cost_) {
        finish_cost_ = cost_[p] + cost;
        finish_ = {p, kind, parameter};
    }
}

// Records where the commands that start at p can reach.
void ShortestPath::Leave(uint32_t p) {
    uint32_t left = size_ - p;
    uint32_t run = static_cast<uint32_t>(repeats_.ByteRun(p));
    uint32_t pattern = static_cast<uint32_t>(repeats_.PairPattern(p));
    CopyMatch copy = copies_.At(p);

    // Commands that cover everything left.
    if (run == left) {
        if (left <= kMaxShortRunBytes) OfferFinish(p, 2, CommandKind::kByteRun);
        else if (left <= kMaxLongCount) OfferFinish(p, 4, CommandKind::kLongByteRun);
    }
    if (pattern == left && left >= 2) {
        uint32_t pairs = (left + 1) / 2;
        if (pairs <= kMaxShortPairs) OfferFinish(p, 3, CommandKind::kPairRun);
        else if (pairs <= kMaxLongCount) OfferFinish(p, 5, CommandKind::kLongPairRun);
    }
    // The decoder drops a copy whose parameter is the stream's last byte: a
    // final copy needs the end command after it.
    if (copy.reaches_end && copy.length > 0) OfferFinish(p, 3, CommandKind::kBackCopy, copy.parameter);

    // Commands that stop short of the end.
    uint32_t short_run = run >= kMinRunBytes ? std::min(run, kMaxShortRunBytes) : 0;
    uint32_t copy_length = copy.length >= kMinCopyBytes ? copy.length : 0;
    uint32_t before_end = size_ - 1;
    auto wait = [&](RangeKind kind, uint32_t reach) {
        uint32_t last = p + std::min(reach, before_end - p);
        if (kShapes[kind].pairs && ((last - p) & 1)) --last;
        if (last - p >= kShapes[kind].first) waiting_[kind].push_back({cost_[p] + kShapes[kind].cost, p, last});
    };
    if (p == before_end) return;  // one byte left: only a literal or a finishing command
    uint32_t last = p + std::min(std::max(short_run, copy_length), before_end - p);
    uint64_t total = cost_[p] + kShapes[kShortRange].cost;
    parameter_of_[p % kNear] = copy.parameter;
    run_of_[p % kNear] = static_cast<uint8_t>(short_run);
    for (uint32_t q = p + kShapes[kShortRange].first; q <= last; ++q) {
        if (total < near_total_[q % kNear]) {
            near_total_[q % kNear] = total;
            near_from_[q % kNear] = p;
        }
    }
    if (run > kMaxShortRunBytes) wait(kLongRunRange, std::min(run, kMaxLongCount));
    uint32_t pairs = pattern / 2;
    if (pairs >= kMinPairs) wait(kPairRange, 2 * std::min(pairs, kMaxShortPairs));
    if (pairs > kMaxShortPairs) wait(kLongPairRange, 2 * std::min(pairs, kMaxLongCount));
}

// Settles the cheapest way to reach q.
void ShortestPath::Arrive(uint32_t q) {
    while (!literal_starts_.empty() && q - literal_starts_.front() > kMaxLiteralBytes) literal_starts_.pop_front();
    uint32_t from = literal_starts_.front();
    uint64_t best = cost_[from] + CommandCost(CommandKind::kLiteral, q - from);
    Step step{from, CommandKind::kLiteral, 0};

    uint32_t slot = q % kNear;
    if (near_total_[slot] < best) {
        best = near_total_[slot];
        uint32_t near = near_from_[slot];
        bool by_run = q - near <= run_of_[near % kNear];
        step = {near, by_run ? CommandKind::kByteRun : CommandKind::kBackCopy, parameter_of_[near % kNear]};
    }
    near_total_[slot] = UINT64_MAX;

    for (int kind = kFirstHeapRange; kind < kRangeKinds; ++kind) {
        const RangeShape& shape = kShapes[kind];
        std::deque<Range>& waiting = waiting_[kind];
        while (!waiting.empty() && q - waiting.front().from >= shape.first) {
            heaps_[kind][shape.pairs ? waiting.front().from & 1 : 0].push(waiting.front());
            waiting.pop_front();
        }
        RangeHeap& heap = heaps_[kind][shape.pairs ? q & 1 : 0];
        while (!heap.empty() && heap.top().last < q) heap.pop();
        if (heap.empty() || heap.top().total >= best) continue;
        const Range& range = heap.top();
        best = range.total;
        step.from = range.from;
        step.parameter = 0;
        switch (kind) {
        case kLongRunRange:
            step.kind = CommandKind::kLongByteRun;
            break;
        case kPairRange:
            step.kind = CommandKind::kPairRun;
            break;
        default:
            step.kind = CommandKind::kLongPairRun;
            break;
        }
    }
    cost_[q] = best;
    steps_[q] = step;
    int64_t key = LiteralKey(best, q);
    while (!literal_starts_.empty() && LiteralKey(cost_[literal_starts_.back()], literal_starts_.back()) >= key) {
        literal_starts_.pop_back();
    }
    literal_starts_.push_back(q);
}

std::vector<Command> ShortestPath::Trace() const {
    std::vector<Command> commands;
    uint32_t end = size_;
    if (finish_cost_ < cost_[size_]) {
        commands.push_back({finish_.kind, size_ - finish_.from, finish_.parameter});
        end = finish_.from;
    }
    while (end > 0) {
        const Step& step = steps_[end];
        commands.push_back({step.kind, end - step.from, step.parameter});
        end = step.from;
    }
    std::reverse(commands.begin(), commands.end());
    return commands;
}

std::vector<Command> ShortestPath::Run() {
    if (size_ == 0) return {};
    cost_[0] = 0;
    literal_starts_.push_back(0);
    Leave(0);
    for (uint32_t q = 1; q <= size_; ++q) {
        Arrive(q);
        if (q < size_) Leave(q);
    }
    return Trace();
}

}  // namespace

std::vector<Command> PlanShortestStream(ByteSpan content, uint8_t method) {
    return ShortestPath(content, method).Run();
}

}  // namespace kova
