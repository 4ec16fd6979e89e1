/* A PE32 DLL mapped into this 32-bit process, ready to call. */
#ifndef SPI32_PE_IMAGE_H
#define SPI32_PE_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#define PE_MAX_SECTIONS 32

struct PeSection {
    uint32_t rva, size;
    int protection; /* PROT_* as mapped */
};

struct PeImage {
    uint8_t *base;
    uint32_t size;
    uint32_t preferred_base;
    uint32_t entry_rva;
    uint32_t export_rva, export_size;
    uint32_t tls_rva;
    unsigned relocations_applied;
    unsigned unknown_imports; /* bound to stubs that abort when called */
    unsigned section_count;
    struct PeSection sections[PE_MAX_SECTIONS];
};

/* Resolves an import to our own implementation; NULL when we have none. */
typedef const void *(*ImportResolver)(const char *dll, const char *name);

/* Maps the DLL at `path`: sections at their addresses, base relocations
 * applied when it does not sit at its preferred base, imports bound through
 * `resolve` (an import it cannot resolve gets a stub that names it and
 * aborts), sections given their protections. With `avoid_preferred_base`
 * the preferred range is taken first, so the relocations must do their
 * work. Returns 0 and a reason in `error` when the file is no PE32 DLL this
 * loader can map. */
int PeLoad(const char *path, int avoid_preferred_base, ImportResolver resolve, struct PeImage *image,
           char *error, size_t error_size);

/* The address of the export `name`, or NULL. */
void *PeExport(const struct PeImage *image, const char *name);

/* The image's TLS template and callbacks: copies the template into a fresh
 * block for TLS index 0 and returns the callback list (NULL-terminated, or
 * NULL when there is none). */
void *const *PeSetUpTls(const struct PeImage *image);

/* The section holding `address`, or NULL: for VirtualQuery and
 * VirtualProtect. */
struct PeSection *PeSectionAt(struct PeImage *image, const void *address);

/* The loaded image, for the system functions that ask about it. */
extern struct PeImage *pe_loaded_image;

#endif
