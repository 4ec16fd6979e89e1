// The entry encoder: content in, the stored bytes of a coded entry out, as
// the decoder reads them back. The writer of archives and the tests use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/bytes.h"

namespace kova {

// How many commands of each kind an encoding used.
struct EncoderStats {
    size_t literals = 0;
    size_t byte_runs = 0;
    size_t long_byte_runs = 0;
    size_t pair_runs = 0;
    size_t long_pair_runs = 0;
    size_t back_copies = 0;
};

// The stored bytes of a coded entry into `stored`: `method` (1 or 2 in its
// low seven bits), the content's size, then a command stream that decodes to
// exactly `content` and ends with the end command. False, with `stored`
// untouched, for any other method or content over 32 bits of size.
bool EncodeEntry(uint8_t method, ByteSpan content, std::vector<uint8_t>& stored,
                 EncoderStats* stats = nullptr);

// False when content would read back as coded if kept as it is: its first
// byte, masked with 0x7F, is 1 or 2.
bool MayBeStoredAsIs(ByteSpan content);

}  // namespace kova
