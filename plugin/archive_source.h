// One archive, from a file or an image in memory, behind one set of reads, so
// that listing, lookup and extraction treat both inputs alike. Bytes a file
// or an image does not hold read as zero in both.
#pragma once

#include <cstdint>

#include "archive/entry_record.h"
#include "archive/file_io.h"
#include "archive/layout.h"
#include "archive/open_archive.h"
#include "platform/win_api.h"
#include "plugin/result_code.h"

namespace kova {

// Zeros kept after an entry's held bytes when its end is missing: more than
// the operands of any command, so a command cut by the end sees zeros, and
// then the zero that ends the stream.
constexpr uint64_t kMissingBytesKept = 8;

struct ArchiveSource {
    bool from_file = false;
    OpenedArchive archive;  // file input
    ByteSpan image;         // memory input: exactly the bytes the host lent
    uint32_t entry_count = 0;

    IndexEntry Entry(uint32_t index) const;
    // The entry's first stored bytes, as many as min(stored_size, 64), in the
    // caller's buffer.
    ByteSpan ReadHead(const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize]) const;
    // How many of the entry's stored bytes the file or image holds.
    uint64_t BytesHeldOf(const IndexEntry& entry) const;
    // The entry's stored bytes, lent straight from an image that holds them
    // all; otherwise the bytes held, read or copied into `scratch`, followed
    // by at most kMissingBytesKept zeros for the ones missing. Decoding
    // that gives exactly what the whole entry with its missing bytes read
    // as zero gives. kNoWorkingMemory when `scratch` cannot be had.
    ResultCode ReadStored(const IndexEntry& entry, HeapBuffer& scratch, ByteSpan& stored) const;
    // Closes the file and frees the index early.
    void Release() { archive.Release(); }
};

// The archive `archive_offset` bytes into the file `file_name`.
ResultCode OpenFileSource(const char* file_name, int64_t archive_offset, ArchiveSource& source);

// The archive image of `length` bytes at `image` (kNotArchive when it is not
// one, NULL, shorter than a header, or too short to hold its index at byte 24;
// kNoWorkingMemory when its index table is too large to size in 32 bits).
ResultCode OpenImageSource(const char* image, LONG_PTR length, ArchiveSource& source);

}  // namespace kova
