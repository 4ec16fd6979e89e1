// A quick plan for a content's command stream: at each position the command
// that covers the most content bytes (a byte run, a pair run or a back copy;
// on a tie the one of fewer stored bytes), otherwise one more literal byte;
// copies found through a hash of three bytes (copy_finder.h). Then every
// command that costs more than the literal bytes it breaks is folded into
// them. Measured on real pictures and sounds, taking the largest immediate
// saving, with lookahead, lost to this: it chose short runs where a copy
// reached further and broke literal stretches with commands that did not
// pay.
#pragma once

#include <vector>

#include "format/bytes.h"
#include "format/command_stream.h"
#include "format/copy_finder.h"

namespace kova {

// Commands, in order, producing exactly `content` with `method`'s
// distances. A final back copy needs the end command after it.
// `hashes` are the content's, which both methods' plans can share.
std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method, const PositionHashes& hashes);
std::vector<Command> PlanQuickStream(ByteSpan content, uint8_t method);

// Both methods' plans, each exactly what PlanQuickStream makes for it, made
// side by side so that they share what they can of the search.
void PlanQuickStreams(ByteSpan content, const PositionHashes& hashes, std::vector<Command>& wide,
                      std::vector<Command>& narrow);

}  // namespace kova
