#include "plugin/archive_source.h"

#include <algorithm>
#include <cstring>

namespace kova {

IndexEntry ArchiveSource::Entry(uint32_t index) const {
    if (from_file) return archive.Entry(index);
    return ReadIndexEntry(SubSpan(image, kImageIndexStart, UINT64_MAX), index);
}

ByteSpan ArchiveSource::ReadHead(const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize]) const {
    std::memset(head, 0, sizeof head);
    size_t wanted = std::min<size_t>(sizeof head, entry.stored_size);
    if (from_file) {
        ReadAt(archive.file.handle, archive.EntryPosition(entry), head, wanted);
    } else {
        ByteSpan there = SubSpan(image, entry.data_offset, wanted);
        if (!there.empty()) std::memcpy(head, there.data(), there.size());
    }
    return {head, wanted};
}

uint64_t ArchiveSource::BytesHeldOf(const IndexEntry& entry) const {
    if (from_file) return BytesHeld(archive.archive_bytes, entry.data_offset, entry.stored_size);
    return BytesHeld(image.size(), entry.data_offset, entry.stored_size);
}

ResultCode ArchiveSource::ReadStored(const IndexEntry& entry, HeapBuffer& scratch,
                                     ByteSpan& stored) const {
    uint64_t held = BytesHeldOf(entry);
    if (!from_file && held == entry.stored_size) {
        stored = SubSpan(image, entry.data_offset, entry.stored_size);
        return kSuccess;
    }
    // Working memory covers the bytes that exist, never what a stored_size
    // near 4 GiB claims. The missing bytes read as zero; a few zeros after
    // the held bytes are all a cut command can consume before the zero
    // that ends the stream, so the cut copy decodes exactly as the whole
    // zero-padded entry would.
    uint64_t wanted = std::min<uint64_t>(entry.stored_size, held + kMissingBytesKept);
    if (!scratch.Allocate(static_cast<size_t>(wanted))) return kNoWorkingMemory;
    if (from_file) {
        ReadAt(archive.file.handle, archive.EntryPosition(entry), scratch.data, static_cast<size_t>(held));
    } else if (held > 0) {
        std::memcpy(scratch.data, image.data() + entry.data_offset, static_cast<size_t>(held));
    }
    stored = scratch.View();
    return kSuccess;
}

ResultCode OpenFileSource(const char* file_name, int64_t archive_offset, ArchiveSource& source) {
    source.from_file = true;
    ResultCode result = OpenArchive(file_name, archive_offset, source.archive);
    source.entry_count = source.archive.entry_count;
    return result;
}

ResultCode OpenImageSource(const char* image, LONG_PTR length, ArchiveSource& source) {
    source.from_file = false;
    if (image == nullptr || length <= 0) return kNotArchive;
    source.image = ByteSpan(reinterpret_cast<const uint8_t*>(image), static_cast<size_t>(length));
    if (!ValidateHeader(source.image)) return kNotArchive;
    uint32_t count = ReadHeader(source.image).entry_count;
    // An image keeps its index at byte 24; one that cannot hold it there is
    // refused like a file too short for its index.
    if (kImageIndexStart + uint64_t{count} * kIndexEntrySize > source.image.size()) return kNotArchive;
    // An index table too large to size in 32 bits is refused as it is from
    // a file, so that both inputs answer alike.
    if (uint64_t{count} * kIndexEntrySize > UINT32_MAX) return kNoWorkingMemory;
    source.entry_count = count;
    return kSuccess;
}

}  // namespace kova
