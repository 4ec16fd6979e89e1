// Writing extracted content to disk so that a file under the entry's name is
// either complete or not there at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kova::cli {

// Creates `directory` (and its parents) unless it exists. False with a
// complete message in `error`.
bool EnsureDirectory(const std::filesystem::path& directory, std::string& error);

// Writes `size` bytes to `target`. The bytes go to a file without a name in
// the target's directory (Linux, where allowed) or to a temporary file
// beside it first, which takes the target's name only once everything is
// written; on failure it is removed again. With `replace` an existing
// file of that name is replaced; without, it is left as it is and the
// write fails (even when the file appears while the content is written).
bool WriteFile(const std::filesystem::path& target, const uint8_t* data, size_t size, bool replace,
               std::string& error);

}  // namespace kova::cli
