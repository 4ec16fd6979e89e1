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

struct ArchiveSource {
    bool from_file = false;
    OpenedArchive archive;  // file input
    ByteSpan image;         // memory input: exactly the bytes the host lent
    uint32_t entry_count = 0;

    IndexEntry Entry(uint32_t index) const;
    // The entry's first stored bytes, as many as min(stored_size, 64), in the
    // caller's buffer.
    ByteSpan ReadHead(const IndexEntry& entry, uint8_t (&head)[kEntryHeadSize]) const;
    // All of the entry's stored bytes: read into `scratch` from a file, lent
    // straight from an image that holds them all, copied otherwise.
    // kNoWorkingMemory when `scratch` cannot be had.
    ResultCode ReadStored(const IndexEntry& entry, HeapBuffer& scratch, ByteSpan& stored) const;
    // Closes the file and frees the index early.
    void Release() { archive.Release(); }
};

// The archive `archive_offset` bytes into the file `file_name`.
ResultCode OpenFileSource(const char* file_name, int64_t archive_offset, ArchiveSource& source);

// The archive image of `length` bytes at `image` (kNotArchive when it is not
// one, NULL or shorter than a header).
ResultCode OpenImageSource(const char* image, LONG_PTR length, ArchiveSource& source);

}  // namespace kova
