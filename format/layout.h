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

// The layout every writer of these archives used, for entries of the given
// stored sizes: the header (field 20 zero), the index at byte 24, then the
// entries one after another, so the u32 at byte 28 is the first entry's
// data_offset. An empty archive carries an 8-byte data area whose second u32
// is 24, as validation wants. False when a size would not fit 32 bits.
bool LayOutArchive(const ByteSpan* entries, size_t count, ArchiveHeader& header);

// How many bytes come before the first entry's stored bytes (the header, the
// index, and an empty archive's data area), and those bytes into `front`.
size_t ArchiveFrontSize(size_t count);
void WriteArchiveFront(MutableByteSpan front, const ArchiveHeader& header, const ByteSpan* entries, size_t count);

// The same for entries known only by their stored sizes, as a writer that
// streams them out one at a time has them.
bool LayOutArchive(const uint32_t* sizes, size_t count, ArchiveHeader& header);
void WriteArchiveFront(MutableByteSpan front, const ArchiveHeader& header, const uint32_t* sizes, size_t count);

// True when `head` starts like one of our archives: the magic, and the sizes
// in the header agree with each other and with the first index record, in
// wrapping 32-bit arithmetic. A head shorter than 32 bytes is never one.
bool ValidateHeader(ByteSpan head);

}  // namespace kova
