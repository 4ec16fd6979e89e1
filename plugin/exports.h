// The plug-in's exported functions, as a host calls them. Hosts include this
// too, for the signatures and the calling convention.
#pragma once

#include "platform/win_api.h"
#include "plugin/entry_info.h"

#if defined(_WIN32)
#define KOVA_CALL __stdcall
#define KOVA_EXPORT extern "C"  // names come from plugin/kova.def
#else
#define KOVA_CALL
#define KOVA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The progress callback hosts pass to GetFile; the module never calls it.
typedef int(KOVA_CALL* KovaProgress)(int, int, LONG_PTR);

KOVA_EXPORT int KOVA_CALL GetPluginInfo(int infono, char* buf, int buflen);
KOVA_EXPORT int KOVA_CALL IsSupported(const char* filename, DWORD_PTR dw);
KOVA_EXPORT int KOVA_CALL GetArchiveInfo(const char* buf, LONG_PTR len, unsigned int flag,
                                         HLOCAL* lphInf);
KOVA_EXPORT int KOVA_CALL GetFileInfo(const char* buf, LONG_PTR len, const char* filename,
                                      unsigned int flag, kova::EntryInfo* lpInfo);
KOVA_EXPORT int KOVA_CALL GetFile(const char* src, LONG_PTR len, char* dest, unsigned int flag,
                                  KovaProgress progress, LONG_PTR lData);
