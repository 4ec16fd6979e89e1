// Writing an archive: the layout every writer of these archives used, from
// the entries' stored bytes (as the encoder makes them, or stored as they are).
#pragma once

#include <cstddef>

#include "format/bytes.h"
#include "platform/win_api.h"

namespace kova {

enum class WriteStatus {
    kOk,
    kTooLarge,         // the archive's sizes do not fit the format's 32-bit fields
    kCannotCreate,     // no file can be made beside the path
    kCannotWrite,      // writing or putting it in place failed
};

// Writes the archive holding `entries` (stored bytes, in index order) to
// `path`: the 24-byte header (field 20 zero), the index at byte 24, then
// the entries one after another, so the u32 at byte 28 is the first
// entry's data_offset. An empty archive carries an 8-byte data area whose
// second u32 is 24, as validation wants. Sizes are checked before anything
// is written; the archive goes to a temporary file beside `path` and takes
// its name only when complete, so a failure leaves `path` as it was.
WriteStatus WriteArchive(const char* path, const ByteSpan* entries, size_t count);
// The same for a UTF-16 path, which can name any file Windows can.
WriteStatus WriteArchive(const WCHAR* path, const ByteSpan* entries, size_t count);

}  // namespace kova
