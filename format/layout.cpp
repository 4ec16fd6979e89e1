#include "format/layout.h"

#include <cstring>

namespace kova {

ArchiveHeader ReadHeader(ByteSpan head) {
    ArchiveHeader header;
    header.archive_size = ReadLe32(head, 4);
    header.index_offset = ReadLe32(head, 8);
    header.data_size = ReadLe32(head, 12);
    header.entry_count = ReadLe32(head, 16);
    header.reserved = ReadLe32(head, 20);
    return header;
}

IndexEntry ReadIndexEntry(ByteSpan table, uint64_t index) {
    IndexEntry entry{0, 0};
    // A record cut off by the end of the table keeps the bytes that are
    // there; the rest read as zero.
    if (index >= table.size() / kIndexEntrySize + 1) return entry;
    size_t at = static_cast<size_t>(index) * kIndexEntrySize;
    entry.stored_size = ReadLe32(table, at);
    entry.data_offset = ReadLe32(table, at + 4);
    return entry;
}

void WriteHeader(MutableByteSpan head, const ArchiveHeader& header) {
    for (size_t k = 0; k < sizeof kMagic && k < head.size(); ++k) head[k] = static_cast<uint8_t>(kMagic[k]);
    WriteLe32(head, 4, header.archive_size);
    WriteLe32(head, 8, header.index_offset);
    WriteLe32(head, 12, header.data_size);
    WriteLe32(head, 16, header.entry_count);
    WriteLe32(head, 20, header.reserved);
}

void WriteIndexEntry(MutableByteSpan table, uint64_t index, const IndexEntry& entry) {
    // A record cut off by the end of the table gets the bytes that fit.
    if (index > table.size() / kIndexEntrySize) return;
    size_t at = static_cast<size_t>(index) * kIndexEntrySize;
    WriteLe32(table, at, entry.stored_size);
    WriteLe32(table, at + 4, entry.data_offset);
}

bool ValidateHeader(ByteSpan head) {
    if (head.size() < kValidatedBytes) return false;
    if (std::memcmp(head.data(), kMagic, sizeof kMagic) != 0) return false;
    ArchiveHeader header = ReadHeader(head);
    // Unsigned arithmetic wraps, exactly as the archives were checked when
    // they were written; a wrapped sum is still a valid match.
    uint32_t index_end = header.index_offset + 8u * header.entry_count;
    if (header.archive_size != header.data_size + index_end) return false;
    return ReadLe32(head, kHeaderSize + 4) == index_end;
}

}  // namespace kova
