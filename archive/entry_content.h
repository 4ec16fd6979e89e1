// One entry's content, from its index record to its decoded bytes: the one
// way the exports and the command turn an entry into what it holds.
#pragma once

#include <cstdint>

#include "archive/archive_reader.h"
#include "format/decoder.h"
#include "format/entry_kind.h"

namespace kova {

// An entry's stored bytes as ArchiveReader::ReadStored lends them, and what
// they describe (kind, method, sizes).
struct StoredEntry {
    IndexEntry entry{};
    HeapBuffer scratch;
    ByteSpan stored;
    EntryDescription described{};

    StoredEntry() = default;
    StoredEntry(const StoredEntry&) = delete;
    StoredEntry& operator=(const StoredEntry&) = delete;
};

// Reads entry `index` (below entry_count) of the archive `reader` has open.
// kNoMemory when its stored bytes cannot be held.
ArchiveStatus ReadStoredEntry(const ArchiveReader& reader, uint32_t index, StoredEntry& stored);

// Decodes the entry into `out`, which holds described.unpacked_size bytes,
// and zeroes whatever the stream leaves unwritten, unless `out_is_zeroed`
// says the caller's buffer is zero already. Returns how the stream went.
DecodeResult DecodeStoredEntry(const StoredEntry& stored, MutableByteSpan out, bool out_is_zeroed);

}  // namespace kova
