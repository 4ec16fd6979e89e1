// A quick plan for a content's command stream: at each position the command
// that saves the most stream bytes, unless the next position offers a better
// one (one byte of lookahead), with copies found through a hash of three
// bytes (copy_finder.h).
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

}  // namespace kova
