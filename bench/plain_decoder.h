// The yardstick for the decoder's benchmarks: entries decoded one byte at a
// time, exactly in the order the format describes, with no shortcut of any
// kind. It gives the same content as DecodeEntry, so the two can be timed on
// the same stored bytes and their outputs compared.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova::bench {

// Decodes `stored` (the entry's `stored_size` bytes, of which the first
// `input_length` are the input) into at most `capacity` bytes of `out`;
// returns how many it wrote.
size_t PlainDecode(const uint8_t* stored, size_t stored_size, size_t input_length, uint8_t* out,
                   size_t capacity);

}  // namespace kova::bench
