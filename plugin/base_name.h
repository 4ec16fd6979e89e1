// The module-wide base name: the file name, without directory and extension,
// of the last file a probe recognized. Every entry name is built from it.
#pragma once

#include <cstddef>

#include "plugin/host_path.h"

namespace kova {

// Longest base name kept.
constexpr size_t kMaxBaseNameLength = 31;

struct BaseName {
    char text[kMaxBaseNameLength + 1];
};

// The base name of `path`: its final component up to the first '.', where
// the path's very first character is never taken for a separator or a dot.
// Paths are cut to 255 characters and base names to 31.
BaseName BaseNameOf(const char* path);

// Makes the base name of `path` the module's.
void RememberBaseName(const char* path);

// A consistent copy of the module's base name, taken once per call so that
// every name one call builds uses the same one.
BaseName CurrentBaseName();

}  // namespace kova
