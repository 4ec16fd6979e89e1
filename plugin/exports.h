// The plug-in's exported functions, as a host calls them. Hosts include this
// too, for the signatures and the calling convention.
//
// What an archive's bytes can make a call cost, whatever they say:
// - Working memory: at most the input's size plus 256 KiB (the window
//   listing reads heads through) and 64 bytes: the index table is read
//   only when it fits in the file or image, and an entry's stored bytes are
//   held only as far as they exist.
// - The list block: a record per entry and the closing one; an index that
//   fits gives at most one entry per 8 input bytes, so at most 56 (Unicode:
//   106) bytes of records per input byte in 64-bit builds.
// - The content block: the size the entry declares (up to 4 GiB), as the
//   format defines. It comes zero-filled from the system and the decoder
//   touches only the bytes the stream writes, so a huge block with a short
//   stream costs what the stream writes.
// - Time: proportional to the input plus the output the stream writes (at
//   most 26,214 bytes per input byte, with long pair runs); for inputs up
//   to 64 KiB about a second at worst, not counting writing a declared-size
//   block to disk.
// - Files: every handle opened is closed, every allocation released or
//   handed to the host, before the call returns, on every path.
#pragma once

#include "platform/win_api.h"
#include "plugin/interface.h"

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

// The Unicode family: the same calls with UTF-16 strings (buflen counts
// WCHARs). With memory input buf and src still point at archive bytes; with
// an output mode other than disk output dest is still where a handle goes.
KOVA_EXPORT int KOVA_CALL GetPluginInfoW(int infono, WCHAR* buf, int buflen);
KOVA_EXPORT int KOVA_CALL IsSupportedW(const WCHAR* filename, DWORD_PTR dw);
KOVA_EXPORT int KOVA_CALL GetArchiveInfoW(const WCHAR* buf, LONG_PTR len, unsigned int flag,
                                          HLOCAL* lphInf);
KOVA_EXPORT int KOVA_CALL GetFileInfoW(const WCHAR* buf, LONG_PTR len, const WCHAR* filename,
                                       unsigned int flag, kova::EntryInfoW* lpInfo);
KOVA_EXPORT int KOVA_CALL GetFileW(const WCHAR* src, LONG_PTR len, WCHAR* dest, unsigned int flag,
                                   KovaProgress progress, LONG_PTR lData);
