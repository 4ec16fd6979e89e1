// The commands of a coded entry's stream as the encoders plan them, what
// each costs in stream bytes, and how each is written out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/bytes.h"
#include "format/coding.h"

namespace kova {

enum class CommandKind : uint8_t { kLiteral, kByteRun, kLongByteRun, kPairRun, kLongPairRun, kBackCopy };

// One planned command. `covered` is how many content bytes it stands for;
// at the content's end a run or copy may be written longer than that, since
// the decoder stops once the output is full.
struct Command {
    CommandKind kind = CommandKind::kLiteral;
    uint32_t covered = 0;
    uint8_t parameter = 0;  // a back copy's distance byte
};

// How many commands of each kind an encoding used.
struct EncoderStats {
    size_t literals = 0;
    size_t byte_runs = 0;
    size_t long_byte_runs = 0;
    size_t pair_runs = 0;
    size_t long_pair_runs = 0;
    size_t back_copies = 0;
};

// Stream bytes of a command that covers `covered` content bytes: what the
// parsers compare. A literal costs its control byte plus its bytes; a run
// or a copy costs the same whatever it covers.
uint32_t CommandCost(CommandKind kind, uint32_t covered);

// Appends `command`, taking its bytes from `content` at `position`. A run or
// copy that covers fewer bytes than its kind's minimum (only ever at the
// content's end) is written with the minimum count.
void AppendCommand(std::vector<uint8_t>& stream, const Command& command, ByteSpan content, size_t position,
                   EncoderStats& stats);

// Appends the literal commands for content[start, end), 63 bytes at most each.
void AppendLiterals(std::vector<uint8_t>& stream, ByteSpan content, size_t start, size_t end,
                    EncoderStats& stats);

}  // namespace kova
