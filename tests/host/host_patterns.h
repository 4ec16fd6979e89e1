// The two ways hosts of other makers were seen to read an archive through
// the plug-in, as small hosts of our own: list it with GetArchiveInfo, walk
// the records up to the one whose method starts with a zero byte, and fetch
// each entry by its position, either
//  - to memory: GetFile into a block, then LocalLock and LocalSize, copy,
//    LocalUnlock, LocalFree; a lock that gives NULL is a failure whatever
//    the size (one such host takes it so); the host writes the copy to a
//    file of the entry's name; or
//  - to disk: GetFile with the folder as dest.
// Each runs in the ANSI family or the Unicode one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/plugin_loader.h"

namespace kova::testing {

enum class PatternFamily { kAnsi, kWide };
enum class PatternOutput { kMemory, kDisk };

struct PatternResult {
    std::vector<std::string> names;     // the entries listed, in order
    std::vector<std::string> problems;  // one line each; none when every entry arrived
};

// Probes `archive` (as hosts do before listing, so that entries are named
// after it), lists it by file name and fetches every listed entry into
// `folder`, which must exist.
PatternResult RunHostPattern(const PluginApi& api, PatternFamily family, PatternOutput output,
                             const std::filesystem::path& archive, const std::filesystem::path& folder);

// "ansi-memory", "wide-disk", ...: a folder name for each pattern.
std::string PatternLabel(PatternFamily family, PatternOutput output);

}  // namespace kova::testing
