// The container: a 24-byte header, an index of 8-byte records, then the
// entries' stored bytes. All offsets count from the archive's first byte.
#pragma once

#include <cstdint>

#include "format/bytes.h"

namespace kova {

constexpr size_t kHeaderSize = 24;
constexpr size_t kIndexEntrySize = 8;
constexpr char kMagic[4] = {'K', 'O', 'V', 'A'};
// ValidateHeader looks at the header and the u32 after it.
constexpr size_t kValidatedBytes = 32;
// Where an image in memory keeps its index, whatever index_offset says.
constexpr size_t kImageIndexStart = kHeaderSize;

struct ArchiveHeader {
    uint32_t archive_size;
    uint32_t index_offset;
    uint32_t data_size;
    uint32_t entry_count;
    uint32_t reserved;  // byte 20: carried, never interpreted
};

struct IndexEntry {
    uint32_t stored_size;
    uint32_t data_offset;
};

// Field values of the first 24 bytes of `head` (zeros where it is shorter).
ArchiveHeader ReadHeader(ByteSpan head);

// The index record `index` of a table that starts at the beginning of
// `table`; bytes of it past the end of `table` read as zero.
IndexEntry ReadIndexEntry(ByteSpan table, uint64_t index);

// Writes the magic and the header's fields into the first 24 bytes of `head`.
void WriteHeader(MutableByteSpan head, const ArchiveHeader& header);

// Writes index record `index` of a table that starts at the beginning of
// `table` (as far as `table` reaches).
void WriteIndexEntry(MutableByteSpan table, uint64_t index, const IndexEntry& entry);

// True when `head` starts like one of our archives: the magic, and the sizes
// in the header agree with each other and with the first index record, in
// wrapping 32-bit arithmetic. A head shorter than 32 bytes is never one.
bool ValidateHeader(ByteSpan head);

}  // namespace kova
