#include "plugin/base_name.h"

#include "platform/win_api.h"
#ifndef _WIN32
#include <mutex>
#endif

namespace kova {
namespace {

BaseName g_base_name = {};

// A lock keeps a probe on one thread from tearing the name another thread is
// reading; which probe wins is still simply the last one.
#ifdef _WIN32
SRWLOCK g_base_name_lock = SRWLOCK_INIT;
struct BaseNameGuard {
    BaseNameGuard() { AcquireSRWLockExclusive(&g_base_name_lock); }
    ~BaseNameGuard() { ReleaseSRWLockExclusive(&g_base_name_lock); }
};
#else
std::mutex g_base_name_lock;
struct BaseNameGuard {
    std::lock_guard<std::mutex> guard{g_base_name_lock};
};
#endif

}  // namespace

void RememberBaseName(const char* path) {
    BaseName name = BaseNameOf(path);
    BaseNameGuard guard;
    g_base_name = name;
}

void RememberBaseName(const WCHAR* path) {
    BaseName name = BaseNameOf(path);
    BaseNameGuard guard;
    g_base_name = name;
}

BaseName CurrentBaseName() {
    BaseNameGuard guard;
    return g_base_name;
}

}  // namespace kova
