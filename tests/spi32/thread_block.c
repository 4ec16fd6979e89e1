#include "thread_block.h"

#include <asm/ldt.h>
#include <stdint.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

/* The fields of the 32-bit block that code in the DLL may read. */
enum {
    kExceptionList = 0x00,
    kStackBase = 0x04,
    kStackLimit = 0x08,
    kSelf = 0x18,
    kProcessId = 0x20,
    kThreadId = 0x24,
    kTlsPointer = 0x2c,
    kProcessBlock = 0x30,
};

static uint8_t thread_block[4096] __attribute__((aligned(4096)));
static uint8_t process_block[4096] __attribute__((aligned(16)));
static void *tls_slots[64];

static void Put(unsigned offset, uint32_t value) { memcpy(thread_block + offset, &value, sizeof value); }

int SetUpThreadBlock(void) {
    /* The stack bounds only need to be plausible: the start-up code uses the
     * base as a thread's identity, nothing walks the stack by them. */
    uintptr_t here = (uintptr_t)&here;
    uintptr_t base = (here + 0xFFFFu) & ~(uintptr_t)0xFFFFu;
    Put(kExceptionList, 0xFFFFFFFFu);
    Put(kStackBase, (uint32_t)base);
    Put(kStackLimit, (uint32_t)(base - (8u << 20)));
    Put(kSelf, (uint32_t)(uintptr_t)thread_block);
    Put(kProcessId, (uint32_t)getpid());
    Put(kThreadId, (uint32_t)getpid());
    Put(kTlsPointer, (uint32_t)(uintptr_t)tls_slots);
    Put(kProcessBlock, (uint32_t)(uintptr_t)process_block);

    /* Linux keeps %gs for its own thread data; %fs is free. An LDT entry
     * gives it the block as base. */
    struct user_desc entry;
    memset(&entry, 0, sizeof entry);
    entry.entry_number = 0;
    entry.base_addr = (unsigned)(uintptr_t)thread_block;
    entry.limit = sizeof thread_block - 1;
    entry.seg_32bit = 1;
    entry.useable = 1;
    if (syscall(SYS_modify_ldt, 1, &entry, sizeof entry) != 0) return 0;
    unsigned short selector = (0 << 3) | 4 /* LDT */ | 3 /* user privilege */;
    __asm__ volatile("movw %0, %%fs" : : "r"(selector));

    uint32_t seen = 0;
    __asm__ volatile("movl %%fs:0x18, %0" : "=r"(seen));
    return seen == (uint32_t)(uintptr_t)thread_block;
}

void SetThreadLocalBlock(void *data) { tls_slots[0] = data; }
