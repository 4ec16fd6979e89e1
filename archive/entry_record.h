// Filling the record a host sees for one entry.
#pragma once

#include <cstdint>

#include "archive/bytes.h"
#include "archive/layout.h"
#include "plugin/entry_info.h"

namespace kova {

// How many of an entry's first stored bytes a listing reads for its record.
constexpr size_t kEntryHeadSize = 64;

// Fills `record` for entry `index`, named from `base_name`. `stored` holds the
// entry's first stored bytes (at least min(stored_size, 64) of them; it is cut
// to stored_size, and bytes it lacks read as zero). `position` is set to the
// entry's data_offset; exports that hand the record to a host put the index
// there instead. Bytes 5-7 of `method`, bytes 1-199 of `path` and the padding
// of the wide layout are left as they were.
void FillEntryInfo(EntryInfo& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const char* base_name);

}  // namespace kova
