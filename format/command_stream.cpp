#include "format/command_stream.h"

#include <algorithm>

namespace kova {
namespace {

void PutLe16(std::vector<uint8_t>& stream, uint32_t value) {
    stream.push_back(static_cast<uint8_t>(value));
    stream.push_back(static_cast<uint8_t>(value >> 8));
}

uint32_t PairsFor(uint32_t covered) { return (covered + 1) / 2; }

}  // namespace

uint32_t CommandCost(CommandKind kind, uint32_t covered) {
    switch (kind) {
    case CommandKind::kLiteral:
        return 1 + covered;
    case CommandKind::kByteRun:
    case CommandKind::kBackCopy:
        return 2;
    case CommandKind::kPairRun:
        return 3;
    case CommandKind::kLongByteRun:
        return 4;
    case CommandKind::kLongPairRun:
        return 5;
    }
    return 0;
}

void AppendCommand(std::vector<uint8_t>& stream, const Command& command, ByteSpan content, size_t position,
                   EncoderStats& stats) {
    uint8_t first = ByteAt(content, position);
    // A pair run that only has one content byte left to cover (the last one)
    // still needs its second operand; any byte does, as it is never written.
    uint8_t second = ByteAt(content, position + 1);
    switch (command.kind) {
    case CommandKind::kLiteral:
        AppendLiterals(stream, content, position, position + command.covered, stats);
        break;
    case CommandKind::kByteRun:
        stream.push_back(static_cast<uint8_t>(std::max(command.covered, kMinRunBytes) + kByteRunBias));
        stream.push_back(first);
        ++stats.byte_runs;
        break;
    case CommandKind::kLongByteRun:
        stream.push_back(kLongByteRun);
        PutLe16(stream, command.covered);
        stream.push_back(first);
        ++stats.long_byte_runs;
        break;
    case CommandKind::kPairRun:
        stream.push_back(static_cast<uint8_t>(std::max(PairsFor(command.covered), kMinPairs) + kPairRunBias));
        stream.push_back(first);
        stream.push_back(second);
        ++stats.pair_runs;
        break;
    case CommandKind::kLongPairRun:
        stream.push_back(kLongPairRun);
        PutLe16(stream, PairsFor(command.covered));
        stream.push_back(first);
        stream.push_back(second);
        ++stats.long_pair_runs;
        break;
    case CommandKind::kBackCopy:
        stream.push_back(static_cast<uint8_t>(std::max(command.covered, kMinCopyBytes) + kBackCopyBias));
        stream.push_back(command.parameter);
        ++stats.back_copies;
        break;
    }
}

void AppendLiterals(std::vector<uint8_t>& stream, ByteSpan content, size_t start, size_t end,
                    EncoderStats& stats) {
    while (start < end) {
        size_t count = std::min<size_t>(kMaxLiteralBytes, end - start);
        stream.push_back(static_cast<uint8_t>(count));
        stream.insert(stream.end(), content.begin() + static_cast<std::ptrdiff_t>(start),
                      content.begin() + static_cast<std::ptrdiff_t>(start + count));
        start += count;
        ++stats.literals;
    }
}

}  // namespace kova
