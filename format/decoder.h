// The entry decoder: stored bytes in, content out.
//
// Promise: whatever the bytes say, DecodeEntry never reads outside `stored`
// and never writes outside `out`. A stream that ends early, runs out of room
// or turns corrupt simply stops; what was written so far stands, and the
// result says why it stopped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/bytes.h"
#include "format/coding.h"

namespace kova {

// Why decoding stopped.
enum class DecodeStop {
    kEndCommand,       // the stream's 0x00 command
    kInputExhausted,   // no more input, or a command whose operands are missing
    kOutputFull,       // every byte of `out` written
    kCopyBeforeStart,  // a back copy whose source lies before the output's start
};

struct DecodeResult {
    bool coded;          // decided by the method byte alone, before decoding
    size_t written;      // bytes of `out` written, from the start
    DecodeStop stop = DecodeStop::kInputExhausted;
    size_t input_used = 0;  // stored bytes consumed, method byte and head included
};

// Decodes the entry whose stored bytes begin `stored`.
//
// `stored` holds the entry's own bytes and nothing past them (at most its
// stored size). `input_length` is how many of them the command stream may
// use; it is cut to stored.size(). The one byte ever read at
// `input_length` is the value of a long byte run, and only when it is still
// one of the entry's own bytes inside `stored`; otherwise decoding stops
// there. A missing method byte reads as 0 (a stored entry).
DecodeResult DecodeEntry(ByteSpan stored, size_t input_length, MutableByteSpan out);

}  // namespace kova
