/* Which of our functions stands for which import. */
#include <string.h>
#include <strings.h>

#include "system.h"

static const void *Find(const struct ImportSymbol *table, const char *name) {
    for (; table->name != NULL; ++table) {
        if (strcmp(table->name, name) == 0) return table->address;
    }
    return NULL;
}

const void *ResolveImport(const char *dll, const char *name) {
    if (strcasecmp(dll, "msvcrt.dll") == 0) return Find(msvcrt_symbols, name);
    if (strcasecmp(dll, "KERNEL32.dll") != 0) return NULL;
    static const struct ImportSymbol *const kernel32[] = {
        kernel32_file_symbols, kernel32_memory_symbols, kernel32_process_symbols, kernel32_text_symbols,
    };
    for (size_t k = 0; k < sizeof kernel32 / sizeof kernel32[0]; ++k) {
        const void *address = Find(kernel32[k], name);
        if (address != NULL) return address;
    }
    return NULL;
}
