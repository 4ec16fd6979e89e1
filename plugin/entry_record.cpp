#include "plugin/entry_record.h"

#include <cstring>

#include "archive/base_name.h"
#include "format/entry_kind.h"

namespace kova {
namespace {

template <typename Record, typename Char>
void Fill(Record& record, const IndexEntry& entry, ByteSpan stored, uint32_t index, const Char* base_name) {
    EntryDescription described = DescribeEntry(entry, stored);
    std::memset(record.filename, 0, sizeof record.filename);
    WriteEntryName(record.filename, base_name, index, described.kind);
    std::memcpy(record.method, "KOVA", 5);
    record.position = entry.data_offset;
    record.packed_size = described.stored_size;
    record.unpacked_size = described.unpacked_size;
    record.timestamp = 0;
    record.path[0] = 0;
    record.crc = 0;
}

}  // namespace

void FillEntryInfo(EntryInfo& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const char* base_name) {
    Fill(record, entry, stored, index, base_name);
}

void FillEntryInfo(EntryInfoW& record, const IndexEntry& entry, ByteSpan stored, uint32_t index,
                   const WCHAR* base_name) {
    Fill(record, entry, stored, index, base_name);
}

}  // namespace kova
