#include "format/encoder.h"

#include <memory>

#include "format/coding.h"
#include "format/copy_finder.h"
#include "format/fast_parse.h"
#include "format/optimal_parse.h"

namespace kova {

namespace {

// The stored bytes of a coded entry that follows `commands`.
bool WriteCodedEntry(uint8_t method, ByteSpan content, const std::vector<Command>& commands,
                     std::vector<uint8_t>& stored, EncoderStats* stats) {
    // A plan stands for the content exactly; one that did not would make
    // the stream carry bytes from outside it.
    uint64_t covered = 0;
    for (const Command& command : commands) covered += command.covered;
    if (covered != content.size()) return false;

    EncoderStats counted;
    std::vector<uint8_t> out(kCodedHeadSize);
    // Room for what literals alone would take, so that the stream of a
    // large entry is not copied as it grows (a copy holds both at once).
    out.reserve(kCodedHeadSize + content.size() + content.size() / kMaxLiteralBytes + 2);
    out[0] = method;
    WriteLe32(out, 1, static_cast<uint32_t>(content.size()));
    size_t position = 0;
    for (const Command& command : commands) {
        AppendCommand(out, command, content, position, counted);
        position += command.covered;
    }
    if (!commands.empty() && commands.back().kind == CommandKind::kBackCopy) out.push_back(kEndCommand);
    if (out.size() > UINT32_MAX) return false;
    if (stats != nullptr) *stats = counted;
    stored = std::move(out);
    return true;
}

}  // namespace

bool EncodeEntry(uint8_t method, ByteSpan content, std::vector<uint8_t>& stored, EncoderStrength strength,
                 EncoderStats* stats) {
    if (!IsCodedMethod(method) || content.size() > UINT32_MAX) return false;
    std::vector<Command> commands = strength == EncoderStrength::kBest ? PlanShortestStream(content, method)
                                                                        : PlanQuickStream(content, method);
    return WriteCodedEntry(method, content, commands, stored, stats);
}

bool MayBeStoredAsIs(ByteSpan content) { return !content.empty() && !IsCodedMethod(content[0]); }

PackStatus PackEntry(ByteSpan content, PackMethod method, EncoderStrength strength, std::vector<uint8_t>& stored) {
    if (content.size() > UINT32_MAX) return PackStatus::kTooLarge;
    bool may_store = MayBeStoredAsIs(content);
    if (method == PackMethod::kStored) {
        if (!may_store) return PackStatus::kCannotStore;
        stored.assign(content.begin(), content.end());
        return PackStatus::kOk;
    }
    std::vector<uint8_t> best;
    bool have_best = false;
    // The quick plans of both methods share the content's hashes, and
    // where both are wanted, their search.
    std::unique_ptr<PositionHashes> hashes;
    std::vector<Command> quick[2];
    bool both_quick = strength == EncoderStrength::kDefault && method == PackMethod::kAuto;
    if (strength == EncoderStrength::kDefault) hashes = std::make_unique<PositionHashes>(content);
    if (both_quick) PlanQuickStreams(content, *hashes, quick[0], quick[1]);
    for (uint8_t coded : {kMethodCodedWide, kMethodCodedNarrow}) {
        if (method == PackMethod::kWide && coded != kMethodCodedWide) continue;
        if (method == PackMethod::kNarrow && coded != kMethodCodedNarrow) continue;
        std::vector<uint8_t> candidate;
        std::vector<Command> commands = both_quick          ? std::move(quick[coded == kMethodCodedWide ? 0 : 1])
                                        : hashes != nullptr ? PlanQuickStream(content, coded, *hashes)
                                                            : PlanShortestStream(content, coded);
        // The hashes serve the plans alone; every plan is made by now (both
        // at once, or the one method asked for), and an entry's twice its
        // size need not be held while its stream is written.
        hashes.reset();
        if (!WriteCodedEntry(coded, content, commands, candidate, nullptr)) continue;
        if (!have_best || candidate.size() < best.size()) {
            best = std::move(candidate);
            have_best = true;
        }
    }
    if (method == PackMethod::kAuto && may_store && (!have_best || content.size() <= best.size())) {
        stored.assign(content.begin(), content.end());
        return PackStatus::kOk;
    }
    if (!have_best) return PackStatus::kTooLarge;
    stored = std::move(best);
    return PackStatus::kOk;
}

}  // namespace kova
