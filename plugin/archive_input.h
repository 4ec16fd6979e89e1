// The archive an export is given, opened by file name or as an image, and
// the layers' outcomes turned into the interface's result codes.
#pragma once

#include <cstdint>

#include "archive/archive_reader.h"
#include "platform/win_api.h"
#include "plugin/interface.h"

namespace kova {

// The result code a host is given for an outcome of the archive layer.
ResultCode ResultOf(ArchiveStatus status);

// The archive `archive_offset` bytes into the file `file_name`.
ResultCode OpenFileInput(const char* file_name, int64_t archive_offset, ArchiveReader& reader,
                         IndexReading reading = IndexReading::kWhole);
ResultCode OpenFileInput(const WCHAR* file_name, int64_t archive_offset, ArchiveReader& reader,
                         IndexReading reading = IndexReading::kWhole);

// The archive image of `length` bytes at `image`.
ResultCode OpenImageInput(const char* image, LONG_PTR length, ArchiveReader& reader);

}  // namespace kova
