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

    IndexEntry Entry(uint32_t i) const { return ReadIndexEntry(index, i); }

    // Reads up to `size` bytes at `offset` from the archive's start into
    // `buffer`; returns how many it got. Bytes it did not get are left as the
    // caller had them.
    size_t ReadBytes(uint64_t offset, uint8_t* buffer, size_t size) const;

    // The entry's first stored bytes, as many as min(stored_size, 64), in the
    // caller's buffer (zero where the archive lacks them). `got`, when given,
    // tells how many the archive held.
    ByteSpan ReadHead(const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize], size_t* got = nullptr) const;

    // How many of the entry's stored bytes the file or image holds.
    uint64_t BytesHeldOf(const IndexEntry& entry) const {
        return BytesHeld(archive_bytes, entry.data_offset, entry.stored_size);
    }

    // The entry's stored bytes, lent straight from an image that holds them
    // all; otherwise the bytes held, read or copied into `scratch`, followed
    // by at most kMissingBytesKept zeros for the ones missing. Decoding
    // that gives exactly what the whole entry with its missing bytes read
    // as zero gives. kNoMemory when `scratch` cannot be had.
    ArchiveStatus ReadStored(const IndexEntry& entry, HeapBuffer& scratch, ByteSpan& stored) const;

    // Closes the file and frees the index early; an image stays lent.
    void Release() {
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
ArchiveStatus OpenArchiveFile(const char* file_name, int64_t archive_offset, ArchiveReader& reader);
// The same with a UTF-16 file name.
ArchiveStatus OpenArchiveFile(const WCHAR* file_name, int64_t archive_offset, ArchiveReader& reader);

// The archive image of `length` bytes at `image`; its index is read at byte
// 24, whatever index_offset says. kNotArchive when it is not one, NULL,
// shorter than a header, or too short to hold its index there; kNoMemory
// when its index table is too large to size in 32 bits. Nothing is copied:
// the reader lends the image's bytes.
ArchiveStatus OpenArchiveImage(const uint8_t* image, int64_t length, ArchiveReader& reader);

}  // namespace kova
