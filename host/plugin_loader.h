// Loading the plug-in as any host does: by path, at run time, reaching it only
// through its exports and the local-memory functions.
#pragma once

#include <string>

#include "plugin/exports.h"

#ifdef _WIN32
#define KOVA_LOCAL_CALL WINAPI
#else
#define KOVA_LOCAL_CALL
#endif

namespace kova {

struct PluginApi {
    decltype(&::GetPluginInfo) get_plugin_info = nullptr;
    decltype(&::IsSupported) is_supported = nullptr;
    decltype(&::GetArchiveInfo) get_archive_info = nullptr;
    decltype(&::GetFileInfo) get_file_info = nullptr;
    decltype(&::GetFile) get_file = nullptr;

    // Blocks the plug-in hands out are read and released with these: the
    // system's on Windows, the plug-in's own elsewhere.
    HLOCAL(KOVA_LOCAL_CALL* local_alloc)(UINT, SIZE_T) = nullptr;
    LPVOID(KOVA_LOCAL_CALL* local_lock)(HLOCAL) = nullptr;
    BOOL(KOVA_LOCAL_CALL* local_unlock)(HLOCAL) = nullptr;
    HLOCAL(KOVA_LOCAL_CALL* local_free)(HLOCAL) = nullptr;
    SIZE_T(KOVA_LOCAL_CALL* local_size)(HLOCAL) = nullptr;

    void* library = nullptr;
};

// Loads the plug-in at `path`. On failure returns false and says why in `error`.
bool LoadPlugin(const std::string& path, PluginApi& api, std::string& error);

// Unloads it again.
void UnloadPlugin(PluginApi& api);

// Where the plug-in lives by default: beside the running executable.
std::string DefaultPluginPath();

}  // namespace kova
