#include "archive/entry_content.h"

#include <cstring>

namespace kova {

ArchiveStatus ReadStoredEntry(const ArchiveReader& reader, uint32_t index, StoredEntry& stored) {
    stored.entry = reader.Entry(index);
    ArchiveStatus status = reader.ReadStored(stored.entry, stored.scratch, stored.stored);
    if (status != ArchiveStatus::kOk) return status;
    stored.described = DescribeEntry(stored.entry, stored.stored);
    return ArchiveStatus::kOk;
}

DecodeResult DecodeStoredEntry(const StoredEntry& stored, MutableByteSpan out, bool out_is_zeroed) {
    DecodeResult decoded = DecodeEntry(stored.stored, stored.entry.stored_size, out);
    // Readers see zeros wherever the stream did not write.
    if (!out_is_zeroed && decoded.written < out.size()) {
        std::memset(out.data() + decoded.written, 0, out.size() - decoded.written);
    }
    return decoded;
}

}  // namespace kova
