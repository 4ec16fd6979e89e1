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

namespace {

uint64_t SizeOf(const ByteSpan& entry) { return entry.size(); }
uint64_t SizeOf(uint32_t size) { return size; }

template <typename Entry>
bool LayOut(const Entry* entries, size_t count, ArchiveHeader& header) {
    uint64_t index_end = kHeaderSize + uint64_t{count} * kIndexEntrySize;
    uint64_t data_size = count == 0 ? kIndexEntrySize : 0;
    for (size_t i = 0; i < count; ++i) data_size += SizeOf(entries[i]);
    if (count > UINT32_MAX || index_end + data_size > UINT32_MAX) return false;
    header = ArchiveHeader{};
    header.index_offset = static_cast<uint32_t>(kHeaderSize);
    header.entry_count = static_cast<uint32_t>(count);
    header.data_size = static_cast<uint32_t>(data_size);
    header.archive_size = static_cast<uint32_t>(index_end + data_size);
    return true;
}

template <typename Entry>
void WriteFront(MutableByteSpan front, const ArchiveHeader& header, const Entry* entries, size_t count) {
    WriteHeader(front, header);
    MutableByteSpan table = front.size() > kHeaderSize ? front.subspan(kHeaderSize) : MutableByteSpan{};
    if (count == 0) {
        // The data area of an empty archive: a record-like pair whose second
        // word is where the index ends.
        WriteIndexEntry(table, 0, IndexEntry{0, header.index_offset});
        return;
    }
    uint32_t offset = header.index_offset + header.entry_count * static_cast<uint32_t>(kIndexEntrySize);
    for (size_t i = 0; i < count; ++i) {
        uint32_t size = static_cast<uint32_t>(SizeOf(entries[i]));
        WriteIndexEntry(table, i, IndexEntry{size, offset});
        offset += size;
    }
}

}  // namespace

bool LayOutArchive(const ByteSpan* entries, size_t count, ArchiveHeader& header) {
    return LayOut(entries, count, header);
}

bool LayOutArchive(const uint32_t* sizes, size_t count, ArchiveHeader& header) { return LayOut(sizes, count, header); }

size_t ArchiveFrontSize(size_t count) { return kHeaderSize + (count == 0 ? 1 : count) * kIndexEntrySize; }

void WriteArchiveFront(MutableByteSpan front, const ArchiveHeader& header, const ByteSpan* entries, size_t count) {
    WriteFront(front, header, entries, count);
}

void WriteArchiveFront(MutableByteSpan front, const ArchiveHeader& header, const uint32_t* sizes, size_t count) {
    WriteFront(front, header, sizes, count);
}

}  // namespace kova
