// Disk-file output: an extracted entry written under its name.
#pragma once

#include <cstddef>

#include "plugin/movable_block.h"

namespace kova {

// Writes `size` bytes of `content` to the file `entry_name` inside
// `directory` (empty or NULL: the current directory), replacing any file of
// that name. False when the name would leave the directory, the path is too
// long, or the file cannot be created or written in full; a file that could
// not be written in full is removed again. `content` stays the caller's.
bool WriteOutputFile(const char* directory, const char* entry_name, MovableBlock& content,
                     size_t size);

}  // namespace kova
