#include "checked_call.h"

#include "checks.h"

/* Filled by spi32_call_raw (checked_call.S). */
struct LastCall {
    uint32_t esp_before, esp_after, ebx, esi, edi, ebp, eflags;
};
struct LastCall spi32_last_call;
uint32_t spi32_call_raw(const void *fn, const uint32_t *args, unsigned count);

#define DIRECTION_FLAG 0x400u

static unsigned calls, broken;

uint32_t CheckedCall(const char *what, const void *fn, unsigned count, const uint32_t *args) {
    uint32_t result = spi32_call_raw(fn, args, count);
    const struct LastCall *c = &spi32_last_call;
    ++calls;
    int32_t left = (int32_t)(c->esp_before - c->esp_after);
    int sound = 1;
    if (left != 0) {
        sound = Fail("%s: esp is %d bytes off after the return (%u argument bytes: a callee that "
                     "is not stdcall, or pops the wrong count)",
                     what, left, 4 * count);
    }
    if (c->ebx != 0xB0B0B0B0u || c->esi != 0x51515151u || c->edi != 0xD1D1D1D1u ||
        c->ebp != 0xEBEBEBEBu) {
        sound = Fail("%s: a callee-saved register changed (ebx %08x esi %08x edi %08x ebp %08x)", what,
                     c->ebx, c->esi, c->edi, c->ebp);
    }
    if (c->eflags & DIRECTION_FLAG) sound = Fail("%s: returned with the direction flag set", what);
    if (!sound) ++broken;
    return result;
}

unsigned CheckedCallCount(void) { return calls; }
unsigned BrokenCallCount(void) { return broken; }
