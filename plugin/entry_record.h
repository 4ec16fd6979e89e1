// Filling the record a host sees for one entry.
#pragma once

#include <cstdint>

#include "format/bytes.h"
#include "format/layout.h"
#include "plugin/interface.h"

namespace kova {

// Fills `record` for entry `index`, named from `base_name`. `stored` holds the
// entry's first stored bytes (at least min(stored_size, 64) of them; it is cut
// to stored_size, and bytes it lacks read as zero). `position` is set to the
// entry's data_offset; exports that hand the record to a host put the index
// there instead. Bytes 5-7 of `method`, bytes 1-199 of `path` and the padding
// of the wide layout are left as they were.
void FillEntryInfo(EntryInfo& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const char* base_name);
// The same for the Unicode exports' record, named from the UTF-16 base name.
void FillEntryInfo(EntryInfoW& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const WCHAR* base_name);

}  // namespace kova
