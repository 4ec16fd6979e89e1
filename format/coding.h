// The coded entries' vocabulary, shared by the decoder and the encoder: the
// method byte, the head, the command ranges and the back-copy distance rows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

// The method byte's low seven bits; bit 7 is ignored.
constexpr uint8_t kMethodMask = 0x7F;
constexpr uint8_t kMethodCodedWide = 1;    // distances 320, 640, 1280, 2560
constexpr uint8_t kMethodCodedNarrow = 2;  // distances 80, 160, 320, 640
// A coded entry: method byte, u32 unpacked size, then the command stream.
constexpr size_t kCodedHeadSize = 5;

// Control-byte ranges of the command stream.
constexpr uint8_t kEndCommand = 0x00;
constexpr uint8_t kLastLiteral = 0x3F;
constexpr uint8_t kLastByteRun = 0x7E;
constexpr uint8_t kLongByteRun = 0x7F;
constexpr uint8_t kLastPairRun = 0xBE;
constexpr uint8_t kLongPairRun = 0xBF;
// Short counts are the control byte less a bias.
constexpr unsigned kByteRunBias = 61;
constexpr unsigned kPairRunBias = 126;
constexpr unsigned kBackCopyBias = 189;

// What each command's count can say: literals 1..63 bytes, byte runs 3..65,
// pair runs 2..64 pairs, back copies 3..66 bytes; the long runs' u16 up to
// 65535 bytes or pairs.
constexpr uint32_t kMaxLiteralBytes = kLastLiteral;
constexpr uint32_t kMinRunBytes = 3, kMaxShortRunBytes = kLastByteRun - kByteRunBias;
constexpr uint32_t kMinPairs = 2, kMaxShortPairs = kLastPairRun - kPairRunBias;
constexpr uint32_t kMinCopyBytes = 3, kMaxCopyBytes = 0xFF - kBackCopyBias;
constexpr uint32_t kMaxLongCount = 0xFFFF;

// A back copy's parameter byte d reaches row[d >> 6] - (d & 0x3F) bytes back.
using DistanceRow = uint32_t[4];
constexpr DistanceRow kWideDistances = {320, 640, 1280, 2560};
constexpr DistanceRow kNarrowDistances = {80, 160, 320, 640};
constexpr uint32_t kMaxDistanceAdjust = 0x3F;

// True when the method byte selects one of the two coded methods.
constexpr bool IsCodedMethod(uint8_t method_byte) {
    uint8_t method = method_byte & kMethodMask;
    return method == kMethodCodedWide || method == kMethodCodedNarrow;
}

// The distance row of a coded method byte.
constexpr const DistanceRow& DistancesOf(uint8_t method_byte) {
    return (method_byte & kMethodMask) == kMethodCodedWide ? kWideDistances : kNarrowDistances;
}

}  // namespace kova
