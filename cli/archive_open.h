// Opening an archive with the archive library from a path as the command
// holds it (UTF-8): on Windows through the UTF-16 file functions, so that a
// path the ANSI code page cannot spell opens as any other.
#pragma once

#include <cstdint>
#include <string>

#include "archive/archive_reader.h"
#include "cli/text.h"

namespace kova::cli {

inline ArchiveStatus OpenArchivePath(const std::string& path, int64_t offset, ArchiveReader& reader) {
#ifdef _WIN32
    std::wstring wide = WideOf(path);
    return OpenArchiveFile(reinterpret_cast<const WCHAR*>(wide.c_str()), offset, reader);
#else
    return OpenArchiveFile(path.c_str(), offset, reader);
#endif
}

}  // namespace kova::cli
