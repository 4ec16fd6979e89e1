// The four information strings a host asks the plug-in for first: defined
// once, for the plug-in's GetPluginInfo and for `kova info` alike.
#pragma once

namespace kova {

constexpr int kPluginInfoCount = 4;

// The string for `infono` (0 to 3), or nullptr.
const char* PluginInfoString(int infono);

}  // namespace kova
