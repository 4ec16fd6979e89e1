// The library's encoder in the tests' terms: byte vectors in and out, and
// requests no entry could satisfy thrown as std::invalid_argument. Used to
// build archives with real content for tests and for the bundled sample.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/encoder.h"
#include "tests/support/archive_builder.h"

namespace kova::testing {

using EncoderStats = kova::EncoderStats;
using EncoderStrength = kova::EncoderStrength;

// The stored bytes of a coded entry: `method` (1 or 2 in its low seven
// bits), the content's size, then a command stream that decodes to exactly
// `content`. Throws std::invalid_argument for
// any other method.
Bytes EncodeEntry(uint8_t method, const Bytes& content, EncoderStats* stats = nullptr,
                  EncoderStrength strength = EncoderStrength::kDefault);

// The stored bytes of an entry kept as it is: the content itself. Throws
// std::invalid_argument when its first byte would read as a coded method.
Bytes StoreEntry(const Bytes& content);

}  // namespace kova::testing
