#include "host/plugin_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <climits>

namespace kova {
namespace {

#ifdef _WIN32
constexpr const char* kPluginFile = sizeof(void*) == 4 ? "kova.spi" : "kova.sph";

void* FindSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

// Paths are UTF-8 on this side, so that a plug-in in a folder the ANSI code
// page cannot spell still loads.
std::wstring WideOf(const std::string& utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 1), L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), units);
    wide.resize(wide.size() - 1);
    return wide;
}
#else
constexpr const char* kPluginFile = "kova.so";

void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }
#endif

template <typename Function>
bool Resolve(void* library, const char* name, Function& out, std::string& error) {
    void* symbol = FindSymbol(library, name);
    if (symbol == nullptr) {
        error = std::string("the plug-in does not export ") + name;
        return false;
    }
    out = reinterpret_cast<Function>(symbol);
    return true;
}

}  // namespace

bool LoadPlugin(const std::string& path, PluginApi& api, std::string& error) {
    api = PluginApi{};
#ifdef _WIN32
    HMODULE library = LoadLibraryW(WideOf(path).c_str());
    if (library == nullptr) {
        error = "cannot load plug-in " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    api.library = library;
    api.local_alloc = &::LocalAlloc;
    api.local_lock = &::LocalLock;
    api.local_unlock = &::LocalUnlock;
    api.local_free = &::LocalFree;
    api.local_size = &::LocalSize;
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = "cannot load plug-in " + path + ": " + (why != nullptr ? why : "unknown error");
        return false;
    }
    api.library = library;
#endif
    bool ok = Resolve(api.library, "GetPluginInfo", api.get_plugin_info, error) &&
              Resolve(api.library, "IsSupported", api.is_supported, error) &&
              Resolve(api.library, "GetArchiveInfo", api.get_archive_info, error) &&
              Resolve(api.library, "GetFileInfo", api.get_file_info, error) &&
              Resolve(api.library, "GetFile", api.get_file, error);
#ifndef _WIN32
    ok = ok && Resolve(api.library, "LocalAlloc", api.local_alloc, error) &&
         Resolve(api.library, "LocalLock", api.local_lock, error) &&
         Resolve(api.library, "LocalUnlock", api.local_unlock, error) &&
         Resolve(api.library, "LocalFree", api.local_free, error) &&
         Resolve(api.library, "LocalSize", api.local_size, error);
#endif
    // The Unicode family is optional: hosts use it only when all of it is there.
    std::string ignored;
    PluginApi wide = api;
    if (Resolve(api.library, "GetPluginInfoW", wide.get_plugin_info_w, ignored) &&
        Resolve(api.library, "IsSupportedW", wide.is_supported_w, ignored) &&
        Resolve(api.library, "GetArchiveInfoW", wide.get_archive_info_w, ignored) &&
        Resolve(api.library, "GetFileInfoW", wide.get_file_info_w, ignored) &&
        Resolve(api.library, "GetFileW", wide.get_file_w, ignored)) {
        api = wide;
    }
    if (!ok) {
        error = path + ": " + error;
        UnloadPlugin(api);
    }
    return ok;
}

void UnloadPlugin(PluginApi& api) {
    if (api.library != nullptr) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(api.library));
#else
        dlclose(api.library);
#endif
    }
    api = PluginApi{};
}

std::string DefaultPluginPath() {
#ifdef _WIN32
    wchar_t self[32768];
    DWORD length = GetModuleFileNameW(nullptr, self, sizeof self / sizeof *self);
    std::string dir;
    if (length > 0 && length < sizeof self / sizeof *self) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, self, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        dir.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
        if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, self, static_cast<int>(length), dir.data(), bytes, nullptr, nullptr);
    }
    size_t cut = dir.find_last_of("\\/");
    return (cut == std::string::npos ? std::string() : dir.substr(0, cut + 1)) + kPluginFile;
#else
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
    size_t cut = dir.find_last_of('/');
    return (cut == std::string::npos ? std::string("./") : dir.substr(0, cut + 1)) + kPluginFile;
#endif
}

}  // namespace kova
