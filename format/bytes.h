// Little-endian reads and writes on byte spans. A read that reaches past the
// end of its span sees zeros there: bytes an archive places beyond what we
// hold are treated as absent, never fetched from outside the span. A write
// keeps to its span in the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace kova {

using ByteSpan = std::span<const uint8_t>;
using MutableByteSpan = std::span<uint8_t>;

inline uint8_t ByteAt(ByteSpan bytes, size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

inline uint16_t ReadLe16(ByteSpan bytes, size_t offset) {
    return static_cast<uint16_t>(ByteAt(bytes, offset) | (ByteAt(bytes, offset + 1) << 8));
}

inline uint32_t ReadLe32(ByteSpan bytes, size_t offset) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Nearly every read lies wholly inside: one load, not four checked ones
    // (an index of a million records is read this way).
    if (offset <= bytes.size() && bytes.size() - offset >= 4) {
        uint32_t value;
        std::memcpy(&value, bytes.data() + offset, 4);
        return value;
    }
#endif
    return static_cast<uint32_t>(ByteAt(bytes, offset)) |
           (static_cast<uint32_t>(ByteAt(bytes, offset + 1)) << 8) |
           (static_cast<uint32_t>(ByteAt(bytes, offset + 2)) << 16) |
           (static_cast<uint32_t>(ByteAt(bytes, offset + 3)) << 24);
}

inline void WriteLe32(MutableByteSpan bytes, size_t offset, uint32_t value) {
    for (size_t k = 0; k < 4; ++k) {
        if (offset + k < bytes.size()) bytes[offset + k] = static_cast<uint8_t>(value >> (8 * k));
    }
}

// The part of `bytes` that starts at `offset` and is at most `length` long;
// empty when `offset` lies beyond the end.
inline ByteSpan SubSpan(ByteSpan bytes, uint64_t offset, uint64_t length) {
    if (offset >= bytes.size()) return {};
    uint64_t room = bytes.size() - offset;
    return bytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(length < room ? length : room));
}

}  // namespace kova
