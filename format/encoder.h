// The entry encoder: content in, an entry's stored bytes out, as the decoder
// reads them back. The archive writer's callers and the tests use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/bytes.h"
#include "format/command_stream.h"

namespace kova {

enum class EncoderStrength {
    kDefault,  // quick: the command covering the most bytes at each position (fast_parse.h)
    kBest,     // the shortest stream the format's commands allow
};

// The stored bytes of a coded entry into `stored`: `method` (1 or 2 in its
// low seven bits, bit 7 kept as given), the content's size, then a command
// stream that produces every byte of `content` itself and stops because
// the output is full, or ends with the end command after a final back copy
// (whose parameter the decoder would drop as the last stored byte). False,
// with `stored` untouched, for any other method or content over 32 bits of
// size.
bool EncodeEntry(uint8_t method, ByteSpan content, std::vector<uint8_t>& stored,
                 EncoderStrength strength = EncoderStrength::kDefault, EncoderStats* stats = nullptr);

// False when content cannot be kept as it is: its first byte, masked with
// 0x7F, is 1 or 2, so it would read back as coded, or it is empty, which
// leaves no method byte of its own.
bool MayBeStoredAsIs(ByteSpan content);

enum class PackMethod { kAuto, kWide, kNarrow, kStored };

enum class PackStatus {
    kOk,
    kCannotStore,  // kStored was asked for content MayBeStoredAsIs refuses
    kTooLarge,     // the content or its coded form does not fit 32 bits
};

// An entry's stored bytes for `content`: with kAuto, the smallest of
// method 1, method 2 and (where allowed) the content as it is.
PackStatus PackEntry(ByteSpan content, PackMethod method, EncoderStrength strength, std::vector<uint8_t>& stored);

}  // namespace kova
