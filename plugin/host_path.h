// How the plug-in reads the names hosts give it (the path rules themselves
// are archive/path_rules.h): the index a name carries, and ANSI paths that
// lost characters in conversion.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/path_rules.h"
#include "platform/win_api.h"

namespace kova {

// The index a name carries, or -1 when it carries none: the name is cut to
// 255 characters and the number field of its final component read
// (ParseEntryIndex).
int32_t EntryIndexOfName(const char* name);
int32_t EntryIndexOfName(const WCHAR* name);

// Longest path a lossy ANSI path is resolved into, in UTF-16 units.
constexpr size_t kMaxResolvedPath = 1024;

// A host that holds a path in UTF-16 and calls the ANSI exports converts it
// first, and every character the ANSI code page lacks becomes '?', a
// character no Windows file name contains. Such a path is resolved against
// the directories it names, each '?' component matched by the ANSI spelling
// of the names there; it resolves only when every such component matches
// exactly one name. False when the path has no '?', or does not resolve
// (always, on systems whose ANSI code page is UTF-8 and spells everything).
bool ResolveLossyAnsiPath(const char* path, WCHAR (&resolved)[kMaxResolvedPath]);

}  // namespace kova
