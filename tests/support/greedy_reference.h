// The plain greedy coder the default encoder is held to (tests, the
// round-trip fuzzer, the packing figures of bench/): not the product's, a
// yardstick. At each position it takes the command that covers the most
// content bytes among a byte run, a pair run and the longest back copy any
// of the method's distances allows (found by the exhaustive search; on a
// tie, the one of fewer stored bytes), and otherwise adds the byte to the
// current literal run.
#pragma once

#include <cstdint>
#include <vector>

#include "format/bytes.h"

namespace kova::testing {

// A coded entry's stored bytes (head included) for `content` with `method`
// (1 or 2): a stream that produces exactly the content and is whole as the
// archive writer's rules ask.
std::vector<uint8_t> GreedyEntry(ByteSpan content, uint8_t method);

// The smallest of the greedy's method 1 and method 2 entries and the content
// kept as it is (where it may be), as kova pack chooses among its forms.
size_t GreedyPackedSize(ByteSpan content);

}  // namespace kova::testing
