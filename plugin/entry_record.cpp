#include "plugin/entry_record.h"

#include <cstring>

#include "format/entry_kind.h"
#include "format/entry_name.h"

namespace kova {
namespace {

// "<base>_<index>.<extension>" in the record's characters: the base name in
// the family's own form, the rest ASCII.
template <typename Char, size_t kCapacity>
void WriteEntryName(Char (&out)[kCapacity], const Char* base_name, uint32_t index, EntryKind kind) {
    char suffix[32];
    FormatEntryName(suffix, sizeof suffix, "", index, ExtensionOf(kind));
    size_t at = 0;
    for (const Char* c = base_name; c != nullptr && *c != 0 && at + 1 < kCapacity; ++c) out[at++] = *c;
    for (const char* c = suffix; *c != '\0' && at + 1 < kCapacity; ++c) out[at++] = static_cast<Char>(*c);
}

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
