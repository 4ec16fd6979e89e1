// One archive, from a file or an image in memory, behind one set of reads, so
// that listing, lookup and extraction treat both inputs alike. Bytes a file
// or an image does not hold read as zero in both.
#pragma once

#include <cstdint>

#include "archive/file_io.h"
#include "format/layout.h"

namespace kova {

// The header and the first three index records: enough to validate.
constexpr size_t kHeaderCopySize = 48;
// How many of an entry's first stored bytes a listing reads for its record.
constexpr size_t kEntryHeadSize = 64;
// Zeros kept after an entry's held bytes when its end is missing: more than
// the operands of any command, so a command cut by the end sees zeros, and
// then the zero that ends the stream.
constexpr uint64_t kMissingBytesKept = 8;

// How opening or reading went, in this layer's own terms.
enum class ArchiveStatus {
    kOk,
    kCannotOpenFile,  // the file cannot be opened (or no name was given)
    kNotArchive,      // not one of our archives, or its index does not fit
    kNoMemory,        // no working memory, or an index table too large to size in 32 bits
};

// How much of a file's index opening reads: all of it for listing, none of
// it for extraction, which reads the one record it needs when it needs it.
enum class IndexReading { kWhole, kOnDemand };

struct ArchiveReader {
    bool in_memory = false;
    FileHandle file;          // file input
    HeapBuffer header_copy;   // file input: the archive's first bytes
    HeapBuffer index_table;   // file input: the index, read whole
    ByteSpan image;           // memory input: exactly the bytes the host lent
    ByteSpan index;           // the index table, in index_table or in the image
    int64_t archive_offset = 0;  // file input: where the archive starts inside the file
    uint64_t archive_bytes = 0;  // how much of the file or image lies from the archive's start
    uint32_t index_offset = 0;
    uint32_t entry_count = 0;

    ArchiveReader() = default;
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    bool index_on_demand = false;  // file input: records read one at a time

    // File input: when set, small reads are served from a window of this
    // many bytes read from the file at once. A reader that goes through the
    // entries in the order of their bytes (a listing's heads, an extraction
    // of thousands of small entries) then makes one read where it made
    // thousands; one that reads a single entry is better without it.
    size_t read_ahead = 0;

    // Record `i` (below entry_count): from the index held, or read from the
    // file when it was opened with IndexReading::kOnDemand.
    IndexEntry Entry(uint32_t i) const;

    // Reads up to `size` bytes at `offset` from the archive's start into
    // `buffer`; returns how many it got. Bytes it did not get are left as the
    // caller had them.
    size_t ReadBytes(uint64_t offset, uint8_t* buffer, size_t size) const;
    // The same, never through the read-ahead window: for a caller that
    // keeps a window of its own, so that no byte is read twice.
    size_t ReadBytesDirect(uint64_t offset, uint8_t* buffer, size_t size) const;

    // The entry's first stored bytes, as many as min(stored_size, 64), in the
    // caller's buffer (zero where the archive lacks them). `got`, when given,
    // tells how many the archive held.
    ByteSpan ReadHead(const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize], size_t* got = nullptr) const;

    // How many of the entry's stored bytes the file or image holds.
    uint64_t BytesHeldOf(const IndexEntry& entry) const {
        return BytesHeld(archive_bytes, entry.data_offset, entry.stored_size);
    }

    // The entry's stored bytes, lent straight from an image that holds them
    // all, or from the read-ahead window (valid until the reader's next
    // read); otherwise the bytes held, read or copied into `scratch`, followed
    // by at most kMissingBytesKept zeros for the ones missing. Decoding
    // that gives exactly what the whole entry with its missing bytes read
    // as zero gives. kNoMemory when `scratch` cannot be had.
    ArchiveStatus ReadStored(const IndexEntry& entry, HeapBuffer& scratch, ByteSpan& stored) const;

    // How many bytes before `offset` a read of the file into a HeapBuffer
    // starts, so that it starts on an aligned position of the file as the
    // buffer does: some processors copy from the kernel several times
    // slower to a destination a few bytes past its source's alignment.
    // Never more than `offset`; 0 for an image.
    size_t LeadFor(uint64_t offset) const;

private:
    // Makes the window hold [offset, offset + size) as far as the file
    // does; false when it cannot be had (no memory).
    bool FillWindowFor(uint64_t offset, size_t size) const;
    size_t ReadThroughWindow(uint64_t offset, uint8_t* buffer, size_t size) const;

    mutable HeapBuffer window;  // read_ahead bytes of the file, from window_start
    mutable uint64_t window_start = 0;
    mutable size_t window_filled = 0;  // how many of them the file held

public:

    // Closes the file and frees the index early; an image stays lent.
    void Release() {
        window.Release();
        window_filled = 0;
        index = {};
        index_table.Release();
        header_copy.Release();
        file.Close();
    }
};

// Opens `file_name`, validates the archive that starts `archive_offset` bytes
// into it and reads its index. On success the reader holds the open file,
// the header copy and the index table; on failure nothing is held.
//   kCannotOpenFile   the file cannot be opened (or no name was given)
//   kNotArchive       the head is not one of our archives, or its index does
//                     not fit in the file
//   kNoMemory         no memory for the header copy or the index, or an index
//                     table too large to size in 32 bits
// With IndexReading::kOnDemand no index is read or held; the size checks
// stay the same, so both readings accept and refuse the same archives.
ArchiveStatus OpenArchiveFile(const char* file_name, int64_t archive_offset, ArchiveReader& reader,
                              IndexReading reading = IndexReading::kWhole);
// The same with a UTF-16 file name.
ArchiveStatus OpenArchiveFile(const WCHAR* file_name, int64_t archive_offset, ArchiveReader& reader,
                              IndexReading reading = IndexReading::kWhole);

// The same for a file already open in `file`, which the reader takes over
// (it is closed with the reader, or at once on failure).
ArchiveStatus OpenArchiveHandle(FileHandle& file, int64_t archive_offset, ArchiveReader& reader,
                                IndexReading reading = IndexReading::kWhole);

// The archive image of `length` bytes at `image`; its index is read at byte
// 24, whatever index_offset says. kNotArchive when it is not one, NULL,
// shorter than a header, or too short to hold its index there; kNoMemory
// when its index table is too large to size in 32 bits. Nothing is copied:
// the reader lends the image's bytes.
ArchiveStatus OpenArchiveImage(const uint8_t* image, int64_t length, ArchiveReader& reader);

// Entry heads for a listing, in order of the index. From a file, the heads of
// entries that lie in order and close together are fetched in one read of
// up to kHeadWindowSize bytes, instead of a seek and a small read each; any
// head outside what was fetched (entries out of order, overlapping, far
// apart or past the end) is fetched again from its own offset. Every head is
// exactly what ArchiveReader::ReadHead gives.
constexpr size_t kHeadWindowSize = size_t{256} << 10;
// A gap between heads larger than this costs more to read through than a seek.
constexpr uint64_t kHeadGapRead = 8192;

struct HeadReader {
    explicit HeadReader(const ArchiveReader& source) : reader(source) {}
    HeadReader(const HeadReader&) = delete;
    HeadReader& operator=(const HeadReader&) = delete;

    // The head of entry `i`, whose record is `entry`, as ReadHead gives it:
    // in `head`, or lent from the window until the next call.
    ByteSpan Head(uint32_t i, const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize]);

    // How many reads of the archive fetched heads so far (for tests).
    size_t reads = 0;

private:
    void Fetch(uint32_t i, const IndexEntry& entry);

    const ArchiveReader& reader;
    HeapBuffer window;
    bool window_unavailable = false;
    uint64_t window_start = 0;
    uint64_t window_span = 0;  // bytes asked for from window_start
    uint64_t window_held = 0;  // of those, bytes the archive held
};

}  // namespace kova
