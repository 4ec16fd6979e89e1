// Opening an archive file: the header is checked and the index read into
// memory the caller owns for the length of one call.
#pragma once

#include <cstdint>

#include "archive/file_io.h"
#include "archive/layout.h"
#include "plugin/result_code.h"

namespace kova {

// The header and the first three index records: enough to validate.
constexpr size_t kHeaderCopySize = 48;

struct OpenedArchive {
    FileHandle file;
    HeapBuffer header_copy;
    HeapBuffer index;
    int64_t archive_offset = 0;  // where the archive starts inside the file
    uint64_t archive_bytes = 0;  // how much of the file lies from there on
    uint32_t index_offset = 0;
    uint32_t entry_count = 0;

    void Release() {
        index.Release();
        header_copy.Release();
        file.Close();
    }
    IndexEntry Entry(uint32_t i) const { return ReadIndexEntry(index.View(), i); }
    // Absolute file position of an entry's stored bytes.
    int64_t EntryPosition(const IndexEntry& entry) const {
        return archive_offset + static_cast<int64_t>(entry.data_offset);
    }
};

// Opens `file_name`, validates the archive that starts `archive_offset` bytes
// into it and reads its index. On success the archive holds the open file,
// the header copy and the index table; on failure nothing is held.
//   kCannotOpenFile   the file cannot be opened (or no name was given)
//   kNotArchive       the head is not one of our archives, or its index does
//                     not fit in the file
//   kNoWorkingMemory  no memory for the header copy or the index, or an index
//                     table too large to size in 32 bits
ResultCode OpenArchive(const char* file_name, int64_t archive_offset, OpenedArchive& archive);

}  // namespace kova
