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

ResultCode ArchiveSource::ReadStored(const IndexEntry& entry, HeapBuffer& scratch,
                                     ByteSpan& stored) const {
    if (!from_file) {
        ByteSpan there = SubSpan(image, entry.data_offset, entry.stored_size);
        if (there.size() == entry.stored_size) {
            stored = there;
            return kSuccess;
        }
    }
    if (!scratch.Allocate(entry.stored_size)) return kNoWorkingMemory;
    if (from_file) {
        ReadAt(archive.file.handle, archive.EntryPosition(entry), scratch.data, scratch.size);
    } else {
        // The image ends inside this entry: what it holds, then zeros.
        ByteSpan there = SubSpan(image, entry.data_offset, entry.stored_size);
        if (!there.empty()) std::memcpy(scratch.data, there.data(), there.size());
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
    source.entry_count = ReadHeader(source.image).entry_count;
    return kSuccess;
}

}  // namespace kova
