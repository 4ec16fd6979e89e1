// A deliberately plain decoder of entries, one byte at a time, written from
// the format's rules alone and kept free of any shortcut. The fuzzers hold
// the real decoder to it byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/decoder.h"

namespace kova::fuzz {

struct ReferenceResult {
    bool coded;
    size_t written;  // bytes written from the start of `out`
    // Why it stopped, and the stored bytes it consumed: a command's operands
    // count as consumed once it runs, even when the output fills inside it.
    DecodeStop stop;
    size_t input_used;
};

// `stored` holds the entry's own bytes (`stored_size` of them); at most
// `input_length` of them are the command stream's input. Writes at most
// `capacity` bytes to `out`.
ReferenceResult ReferenceDecode(const uint8_t* stored, size_t stored_size, size_t input_length,
                                uint8_t* out, size_t capacity);

}  // namespace kova::fuzz
