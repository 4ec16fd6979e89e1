/* What the report needs of a plug-in and its host, provided once by the
 * 32-bit host (kova.spi through the PE loader) and once by the native one
 * (kova.so through dlopen), so that both reports come from the same code. */
#ifndef SPI32_PLUGIN_API_H
#define SPI32_PLUGIN_API_H

#include <stddef.h>
#include <stdint.h>

/* The exports, with the host's own integer widths. */
int PluginInfo(int infono, char *buf, int buflen);
int PluginIsSupported(const char *filename, uintptr_t dw);
int PluginArchiveInfo(const char *buf, intptr_t len, unsigned flag, void **list);
int PluginFileInfo(const char *buf, intptr_t len, const char *filename, unsigned flag, void *record);
int PluginGetFile(const char *src, intptr_t len, char *dest, unsigned flag);

/* The UTF-16 family, when the plug-in exports all five of it. With memory
 * input buf and src still point at archive bytes. */
int PluginHasWide(void);
int PluginInfoW(int infono, uint16_t *buf, int buflen);
int PluginIsSupportedW(const uint16_t *filename, uintptr_t dw);
int PluginArchiveInfoW(const void *buf, intptr_t len, unsigned flag, void **list);
int PluginFileInfoW(const void *buf, intptr_t len, const uint16_t *filename, unsigned flag, void *record);
int PluginGetFileW(const void *src, intptr_t len, void *dest, unsigned flag);

/* Blocks the plug-in handed over: the host's local-memory functions. */
void *BlockLock(void *block);
void BlockUnlock(void *block);
size_t BlockSize(void *block);
/* Frees the block; returns whether LocalFree reported success (NULL). */
int BlockFree(void *block);

/* A file handle as a host passes it to IsSupported, and its position. */
uintptr_t HostOpen(const char *path);
uint64_t HostPosition(uintptr_t handle);
void HostClose(uintptr_t handle);

/* `path` ('/'-separated, relative) as this host passes it to the plug-in. */
void HostPath(const char *path, char *out, size_t size);

#endif
