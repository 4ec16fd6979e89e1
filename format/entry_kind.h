// What an entry holds, judged from its first content bytes; archives keep no
// types, so the extension of an entry's name comes from here.
#pragma once

#include <cstdint>

#include "format/bytes.h"
#include "format/layout.h"

namespace kova {

enum class EntryKind : int { kBitmap = 0, kWave = 1, kMidi = 2, kOther = 3 };

// How much content the sniffer looks at, and how many stored bytes it decodes.
constexpr size_t kSniffBytes = 48;

struct SniffResult {
    EntryKind kind;
    bool coded;
};

// "BMP", "WAV", "MID" or "DAT".
const char* ExtensionOf(EntryKind kind);

// Decodes at most the first 48 of the entry's stored bytes into a zero-filled
// 48-byte buffer and tests the content. `stored` holds the entry's own bytes
// only (never more than its stored size); at least its first 49, when it has
// that many, so that a long run at byte 48 sees its value here as it does in
// a full extraction.
SniffResult SniffKind(ByteSpan stored);

// Which kind content starting with `content` is.
EntryKind ClassifyContent(ByteSpan content);

// What a listing tells of one entry.
struct EntryDescription {
    EntryKind kind;
    bool coded;
    uint32_t unpacked_size;  // a coded entry's declared size; else the stored size
    uint32_t stored_size;
};

// Describes the entry of index record `entry` from its first stored bytes:
// `stored` holds at least min(stored_size, 64) of them when the archive has
// them; it is cut to stored_size, and bytes it lacks read as zero.
EntryDescription DescribeEntry(const IndexEntry& entry, ByteSpan stored);

}  // namespace kova
