#include "plugin/entry_record.h"

#include <cstring>

#include "format/entry_kind.h"
#include "format/entry_name.h"

namespace kova {

void FillEntryInfo(EntryInfo& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const char* base_name) {
    EntryDescription described = DescribeEntry(entry, stored);
    std::memset(record.filename, 0, sizeof record.filename);
    FormatEntryName(record.filename, sizeof record.filename, base_name, index,
                    ExtensionOf(described.kind));
    std::memcpy(record.method, "KOVA", 5);
    record.position = entry.data_offset;
    record.packed_size = described.stored_size;
    record.unpacked_size = described.unpacked_size;
    record.timestamp = 0;
    record.path[0] = '\0';
    record.crc = 0;
}

}  // namespace kova
