// Writing an archive for `kova pack` and `kova replace`, so that whatever
// happens the user keeps either the old file or the whole new one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::cli {

// Writes the archive of `entries` (stored bytes, in index order) to `path`
// through a temporary file beside it, renamed into place when complete. An
// interrupt (Ctrl-C) that comes while it writes takes effect only after the
// temporary file is in place or gone. False with a complete message in
// `error`; `path` is then as it was.
bool WriteArchiveFile(const std::string& path, const std::vector<std::vector<uint8_t>>& entries, std::string& error);

}  // namespace kova::cli
