// Disk-file output: an extracted entry written under its name.
#pragma once

#include <cstddef>

#include "platform/win_api.h"
#include "plugin/movable_block.h"

namespace kova {

// Writes `size` bytes of `content` to the file `entry_name` inside
// `directory` (empty or NULL: the current directory), replacing any file of
// that name only once it is written in full. False when the name would leave
// the directory, the path is too long, or the file cannot be created, written
// in full or put in place; a file of that name is then left as it was, and no
// partial file stays behind. `content` stays the caller's.
bool WriteOutputFile(const char* directory, const char* entry_name, MovableBlock& content,
                     size_t size);
// The same with UTF-16 names.
bool WriteOutputFile(const WCHAR* directory, const WCHAR* entry_name, MovableBlock& content,
                     size_t size);

}  // namespace kova
