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

    // The Unicode family: all five, or none when the plug-in lacks any of them.
    decltype(&::GetPluginInfoW) get_plugin_info_w = nullptr;
    decltype(&::IsSupportedW) is_supported_w = nullptr;
    decltype(&::GetArchiveInfoW) get_archive_info_w = nullptr;
    decltype(&::GetFileInfoW) get_file_info_w = nullptr;
    decltype(&::GetFileW) get_file_w = nullptr;
    bool HasWide() const { return get_file_w != nullptr; }

    // Blocks the plug-in hands out are read and released with these: the
    // system's on Windows, the plug-in's own elsewhere.
    HLOCAL(KOVA_LOCAL_CALL* local_alloc)(UINT, SIZE_T) = nullptr;
    LPVOID(KOVA_LOCAL_CALL* local_lock)(HLOCAL) = nullptr;
    BOOL(KOVA_LOCAL_CALL* local_unlock)(HLOCAL) = nullptr;
    HLOCAL(KOVA_LOCAL_CALL* local_free)(HLOCAL) = nullptr;
    SIZE_T(KOVA_LOCAL_CALL* local_size)(HLOCAL) = nullptr;

    void* library = nullptr;
};

// Loads the plug-in at `path` (UTF-8 on Windows). On failure returns false and says why in `error`.
bool LoadPlugin(const std::string& path, PluginApi& api, std::string& error);

// Unloads it again.
void UnloadPlugin(PluginApi& api);

// Where the plug-in lives by default: beside the running executable (UTF-8
// on Windows).
std::string DefaultPluginPath();

}  // namespace kova
