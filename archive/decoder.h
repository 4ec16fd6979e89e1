// The entry decoder: stored bytes in, content out.
//
// Promise: whatever the bytes say, DecodeEntry never reads outside `stored`
// and never writes outside `out`. A stream that ends early, runs out of room
// or turns corrupt simply stops; what was written so far stands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/bytes.h"

namespace kova {

// The method byte's low seven bits; bit 7 is ignored.
constexpr uint8_t kMethodMask = 0x7F;
constexpr uint8_t kMethodCodedWide = 1;    // distances 320, 640, 1280, 2560
constexpr uint8_t kMethodCodedNarrow = 2;  // distances 80, 160, 320, 640
// A coded entry: method byte, u32 unpacked size, then the command stream.
constexpr size_t kCodedHeadSize = 5;

struct DecodeResult {
    bool coded;      // decided by the method byte alone, before decoding
    size_t written;  // bytes of `out` written, from the start
};

// True when the method byte selects one of the two coded methods.
bool IsCodedMethod(uint8_t method_byte);

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
