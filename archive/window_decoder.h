// A coded stream decoded through a window of bounded size instead of into
// memory of its declared size: what the integrity walk needs of a stream
// (how far it got, why it stopped, how much of its input it used, and its
// content in order for whoever looks at it) costs the same whether the
// entry declares a kilobyte or four gigabytes.
//
// Same rules as DecodeEntry (format/decoder.h), byte for byte: the same
// bytes come out, and it stops where and why DecodeEntry would.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/file_io.h"
#include "format/decoder.h"

namespace kova {

// Back copies reach at most this far behind the output position.
constexpr size_t kLongestReach = kWideDistances[3];
// Content handed on at a time, by default.
constexpr size_t kDecodeWindowSize = size_t{1} << 20;

// Receives the content in order, in pieces of at most the window's size.
using ContentSink = void (*)(void* context, ByteSpan piece);

struct WindowedResult {
    uint64_t written = 0;  // content bytes produced
    DecodeStop stop = DecodeStop::kInputExhausted;
    uint64_t input_used = 0;  // stored bytes consumed, the head included
};

// Decodes the coded entry whose stored bytes are `stored` (the first
// `input_length` of them may be used, as in DecodeEntry) as if into an output
// of `capacity` bytes. `window` is working memory of the caller's, kept for
// the next call; `window_size` bytes of content are held at a time. False
// only when that memory cannot be had. `sink` may be null.
bool DecodeInWindow(ByteSpan stored, size_t input_length, uint64_t capacity, HeapBuffer& window,
                    ContentSink sink, void* context, WindowedResult& result,
                    size_t window_size = kDecodeWindowSize);

}  // namespace kova
