// The module-wide base name (archive/base_name.h): that of the last file a
// probe recognized. Every entry name the exports build is built from it, in
// both families' forms, so that whichever family probed last, each family
// names entries in its own characters.
#pragma once

#include <cstddef>

#include "archive/base_name.h"

namespace kova {

// Makes the base name of `path` the module's.
void RememberBaseName(const char* path);
void RememberBaseName(const WCHAR* path);

// A consistent copy of the module's base name, taken once per call so that
// every name one call builds uses the same one.
BaseName CurrentBaseName();

}  // namespace kova
