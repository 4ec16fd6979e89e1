// The shortest command stream for a content: a shortest path over output
// positions. Each command's cost is its own byte count, independent of its
// neighbours, so the cheapest way to produce the first q bytes is the
// cheapest way to some earlier position plus one command reaching q.
#pragma once

#include <vector>

#include "format/bytes.h"
#include "format/command_stream.h"

namespace kova {

// The commands, in order, of a shortest stream that produces exactly
// `content` with `method`'s distances; `content` is at most UINT32_MAX
// bytes. A stream whose last command is a back copy needs one more byte
// (the end command) after it, and the count includes it.
std::vector<Command> PlanShortestStream(ByteSpan content, uint8_t method);

}  // namespace kova
