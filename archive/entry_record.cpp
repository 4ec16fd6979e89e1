#include "archive/entry_record.h"

#include <algorithm>
#include <cstring>

#include "archive/entry_kind.h"
#include "archive/entry_name.h"

namespace kova {

void FillEntryInfo(EntryInfo& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const char* base_name) {
    ByteSpan own = stored.first(std::min<size_t>(stored.size(), entry.stored_size));

    std::memset(record.filename, 0, sizeof record.filename);
    SniffResult sniffed = SniffKind(own);
    FormatEntryName(record.filename, sizeof record.filename, base_name, index,
                    ExtensionOf(sniffed.kind));
    std::memcpy(record.method, "KOVA", 5);
    record.position = entry.data_offset;
    record.packed_size = entry.stored_size;
    // A coded entry declares its size in bytes 1-4; bytes it lacks read as 0.
    record.unpacked_size = sniffed.coded ? ReadLe32(own, 1) : entry.stored_size;
    record.timestamp = 0;
    record.path[0] = '\0';
    record.crc = 0;
}

}  // namespace kova
