#include "archive/archive_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kova {
namespace {

// The file is open in reader.file.
ArchiveStatus ReadHeaderAndIndex(int64_t archive_offset, ArchiveReader& reader, IndexReading reading) {
    if (!reader.header_copy.Allocate(kHeaderCopySize)) return ArchiveStatus::kNoMemory;
    ReadAt(reader.file.handle, archive_offset, reader.header_copy.data, reader.header_copy.size);
    if (!ValidateHeader(reader.header_copy.View())) return ArchiveStatus::kNotArchive;

    ArchiveHeader header = ReadHeader(reader.header_copy.View());
    // An index that does not fit in the file is no archive anyone wrote, and
    // reading it would turn a few bytes into gigabytes of zero records.
    int64_t file_size = FileSize(reader.file.handle);
    if (file_size < 0 || archive_offset > file_size) return ArchiveStatus::kNotArchive;
    uint64_t index_end = uint64_t{header.index_offset} + uint64_t{header.entry_count} * kIndexEntrySize;
    if (index_end > static_cast<uint64_t>(file_size - archive_offset)) return ArchiveStatus::kNotArchive;
    // The table is sized in 32 bits wherever the archive is read; a count
    // that would wrap that size is refused rather than read short.
    uint64_t table_size = uint64_t{header.entry_count} * kIndexEntrySize;
    if (table_size > UINT32_MAX) return ArchiveStatus::kNoMemory;
    reader.archive_offset = archive_offset;
    reader.archive_bytes = static_cast<uint64_t>(file_size - archive_offset);
    reader.index_offset = header.index_offset;
    reader.entry_count = header.entry_count;
    if (reading == IndexReading::kOnDemand) {
        reader.index_on_demand = true;
        return ArchiveStatus::kOk;
    }
    size_t lead = reader.LeadFor(header.index_offset);
    if (table_size > SIZE_MAX - lead) return ArchiveStatus::kNoMemory;
    if (!reader.index_table.Allocate(lead + static_cast<size_t>(table_size))) return ArchiveStatus::kNoMemory;
    ReadAt(reader.file.handle, archive_offset + int64_t{header.index_offset} - static_cast<int64_t>(lead),
           reader.index_table.data, reader.index_table.size);

    reader.index = ByteSpan(reader.index_table.data + lead, static_cast<size_t>(table_size));
    return ArchiveStatus::kOk;
}

}  // namespace

IndexEntry ArchiveReader::Entry(uint32_t i) const {
    if (!index_on_demand) return ReadIndexEntry(index, i);
    // Bytes the file lacks read as zero, as in a table read whole.
    uint8_t record[kIndexEntrySize] = {};
    ReadBytes(uint64_t{index_offset} + uint64_t{i} * kIndexEntrySize, record, sizeof record);
    return ReadIndexEntry(ByteSpan(record, sizeof record), 0);
}

size_t ArchiveReader::ReadBytes(uint64_t offset, uint8_t* buffer, size_t size) const {
    if (!in_memory && read_ahead != 0 && size <= read_ahead / 2 &&
        offset <= static_cast<uint64_t>(INT64_MAX - archive_offset)) {
        return ReadThroughWindow(offset, buffer, size);
    }
    return ReadBytesDirect(offset, buffer, size);
}

size_t ArchiveReader::ReadBytesDirect(uint64_t offset, uint8_t* buffer, size_t size) const {
    if (in_memory) {
        ByteSpan there = SubSpan(image, offset, size);
        if (!there.empty()) std::memcpy(buffer, there.data(), there.size());
        return there.size();
    }
    if (offset > static_cast<uint64_t>(INT64_MAX - archive_offset)) return 0;
    return ReadAt(file.handle, archive_offset + static_cast<int64_t>(offset), buffer, size);
}

size_t ArchiveReader::LeadFor(uint64_t offset) const {
    if (in_memory) return 0;
    uint64_t lead = (static_cast<uint64_t>(archive_offset) + offset) % kHeapBufferAlignment;
    return static_cast<size_t>(std::min(lead, offset));
}

bool ArchiveReader::FillWindowFor(uint64_t offset, size_t size) const {
    if (offset >= window_start && offset - window_start + size <= window_filled) return true;
    if (window.size != read_ahead && !window.Allocate(read_ahead)) return false;
    // The lead never crowds out what was asked for.
    window_start = offset - std::min(LeadFor(offset), read_ahead - std::min(size, read_ahead));
    window_filled = ReadAt(file.handle, archive_offset + static_cast<int64_t>(window_start), window.data, window.size);
    return true;
}

size_t ArchiveReader::ReadThroughWindow(uint64_t offset, uint8_t* buffer, size_t size) const {
    if (!FillWindowFor(offset, size)) {
        return ReadAt(file.handle, archive_offset + static_cast<int64_t>(offset), buffer, size);
    }
    // Past the end of the file the window holds less than asked; what it
    // lacks is what a direct read would not have got either.
    size_t there = offset - window_start < window_filled ? window_filled - static_cast<size_t>(offset - window_start) : 0;
    size_t got = std::min(size, there);
    if (got != 0) std::memcpy(buffer, window.data + (offset - window_start), got);
    return got;
}

ByteSpan ArchiveReader::ReadHead(const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize], size_t* got) const {
    std::memset(head, 0, sizeof head);
    size_t wanted = std::min<size_t>(sizeof head, entry.stored_size);
    size_t read = ReadBytes(entry.data_offset, head, wanted);
    if (got != nullptr) *got = read;
    return {head, wanted};
}

ArchiveStatus ArchiveReader::ReadStored(const IndexEntry& entry, HeapBuffer& scratch, ByteSpan& stored) const {
    uint64_t held = BytesHeldOf(entry);
    if (in_memory && held == entry.stored_size) {
        stored = SubSpan(image, entry.data_offset, entry.stored_size);
        return ArchiveStatus::kOk;
    }
    // Small entries the file holds whole are lent from the read-ahead
    // window, not copied out of it.
    if (!in_memory && read_ahead != 0 && held == entry.stored_size && held <= read_ahead / 2 &&
        entry.data_offset <= static_cast<uint64_t>(INT64_MAX - archive_offset) &&
        FillWindowFor(entry.data_offset, static_cast<size_t>(held)) &&
        entry.data_offset - window_start + held <= window_filled) {
        stored = ByteSpan(window.data + (entry.data_offset - window_start), static_cast<size_t>(held));
        return ArchiveStatus::kOk;
    }
    // Working memory covers the bytes that exist, never what a stored_size
    // near 4 GiB claims. The missing bytes read as zero; a few zeros after
    // the held bytes are all a cut command can consume before the zero
    // that ends the stream, so the cut copy decodes exactly as the whole
    // zero-padded entry would.
    uint64_t wanted = std::min<uint64_t>(entry.stored_size, held + kMissingBytesKept);
    size_t lead = LeadFor(entry.data_offset);
    if (wanted > SIZE_MAX - lead) return ArchiveStatus::kNoMemory;
    if (!scratch.Allocate(lead + static_cast<size_t>(wanted))) return ArchiveStatus::kNoMemory;
    // A read that gets less than the file held a moment ago leaves zeros,
    // as bytes past the end read.
    ReadBytes(entry.data_offset - lead, scratch.data, lead + static_cast<size_t>(held));
    stored = ByteSpan(scratch.data + lead, static_cast<size_t>(wanted));
    return ArchiveStatus::kOk;
}

namespace {

void PrepareForFile(ArchiveReader& reader) {
    reader.Release();
    reader.in_memory = false;
    reader.index_on_demand = false;
    reader.image = {};
}

template <typename Char>
ArchiveStatus OpenArchiveFileNamed(const Char* file_name, int64_t archive_offset, ArchiveReader& reader,
                                   IndexReading reading) {
    PrepareForFile(reader);
    if (file_name == nullptr) return ArchiveStatus::kCannotOpenFile;
    reader.file.handle = CreateFileNamed(file_name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (!reader.file.IsOpen()) return ArchiveStatus::kCannotOpenFile;
    // Only a file is read by name: a device, pipe or FIFO could hold the
    // caller in a read that never ends (a console, a FIFO nobody writes).
    if (GetFileType(reader.file.handle) != FILE_TYPE_DISK) {
        reader.Release();
        return ArchiveStatus::kCannotOpenFile;
    }
    ArchiveStatus status = ReadHeaderAndIndex(archive_offset, reader, reading);
    if (status != ArchiveStatus::kOk) reader.Release();
    return status;
}

}  // namespace

ArchiveStatus OpenArchiveHandle(FileHandle& file, int64_t archive_offset, ArchiveReader& reader,
                                IndexReading reading) {
    PrepareForFile(reader);
    if (!file.IsOpen()) return ArchiveStatus::kCannotOpenFile;
    reader.file.handle = file.handle;
    file.handle = INVALID_HANDLE_VALUE;
    ArchiveStatus status = ReadHeaderAndIndex(archive_offset, reader, reading);
    if (status != ArchiveStatus::kOk) reader.Release();
    return status;
}

ArchiveStatus OpenArchiveFile(const char* file_name, int64_t archive_offset, ArchiveReader& reader,
                              IndexReading reading) {
    return OpenArchiveFileNamed(file_name, archive_offset, reader, reading);
}

ArchiveStatus OpenArchiveFile(const WCHAR* file_name, int64_t archive_offset, ArchiveReader& reader,
                              IndexReading reading) {
    return OpenArchiveFileNamed(file_name, archive_offset, reader, reading);
}

ArchiveStatus OpenArchiveImage(const uint8_t* image, int64_t length, ArchiveReader& reader) {
    reader.Release();
    reader.in_memory = true;
    reader.index_on_demand = false;
    if (image == nullptr || length <= 0) return ArchiveStatus::kNotArchive;
    reader.image = ByteSpan(image, static_cast<size_t>(length));
    if (!ValidateHeader(reader.image)) return ArchiveStatus::kNotArchive;
    ArchiveHeader header = ReadHeader(reader.image);
    uint32_t count = header.entry_count;
    // An image keeps its index at byte 24; one that cannot hold it there is
    // refused like a file too short for its index.
    if (kImageIndexStart + uint64_t{count} * kIndexEntrySize > reader.image.size()) return ArchiveStatus::kNotArchive;
    // An index table too large to size in 32 bits is refused as it is from
    // a file, so that both inputs answer alike.
    if (uint64_t{count} * kIndexEntrySize > UINT32_MAX) return ArchiveStatus::kNoMemory;
    reader.index = SubSpan(reader.image, kImageIndexStart, UINT64_MAX);
    reader.archive_bytes = reader.image.size();
    reader.index_offset = header.index_offset;
    reader.entry_count = count;
    return ArchiveStatus::kOk;
}

ByteSpan HeadReader::Head(uint32_t i, const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize]) {
    uint64_t wanted = std::min<uint64_t>(kEntryHeadSize, entry.stored_size);
    uint64_t start = entry.data_offset;
    auto inside = [&] { return start >= window_start && start + wanted <= window_start + window_span; };
    if (reader.in_memory || wanted == 0) return reader.ReadHead(entry, head);
    if (!inside()) Fetch(i, entry);
    if (!inside()) {
        ++reads;
        return reader.ReadHead(entry, head);
    }
    uint64_t from = start - window_start;
    // A head the window holds whole is lent from it, not copied.
    if (from + wanted <= window_held) return {window.data + from, static_cast<size_t>(wanted)};
    std::memset(head, 0, sizeof head);
    if (from < window_held) {
        std::memcpy(head, window.data + from, static_cast<size_t>(std::min(wanted, window_held - from)));
    }
    return {head, static_cast<size_t>(wanted)};
}

void HeadReader::Fetch(uint32_t i, const IndexEntry& entry) {
    window_span = 0;
    window_held = 0;
    if (window_unavailable) return;
    if (window.data == nullptr && !window.Allocate(kHeadWindowSize)) {
        // Without the window every head is read on its own: slower, the same.
        window_unavailable = true;
        return;
    }
    // The window starts at this head (or the aligned position just before
    // it) and takes in the heads after it while they lie in order, close
    // together and within its size.
    uint64_t start = entry.data_offset;
    uint64_t end = start + std::min<uint64_t>(kEntryHeadSize, entry.stored_size);
    uint64_t from = start - reader.LeadFor(start);
    for (uint32_t j = i + 1; j < reader.entry_count; ++j) {
        IndexEntry next = reader.Entry(j);
        uint64_t next_wanted = std::min<uint64_t>(kEntryHeadSize, next.stored_size);
        if (next_wanted == 0) continue;
        uint64_t next_start = next.data_offset;
        if (next_start < start || next_start > end + kHeadGapRead ||
            next_start + next_wanted - from > kHeadWindowSize) {
            break;
        }
        end = std::max(end, next_start + next_wanted);
    }
    window_start = from;
    window_span = end - from;
    ++reads;
    // Straight from the source: through the reader's own window every byte
    // would be read twice and copied once more.
    window_held = reader.ReadBytesDirect(window_start, window.data, static_cast<size_t>(window_span));
}

}  // namespace kova
