#include "cli/interrupts.h"

#include <cstring>
#include <initializer_list>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kova::cli {

#if defined(_WIN32)
namespace {

volatile LONG interrupted = 0;

BOOL WINAPI NoteInterrupt(DWORD) {
    InterlockedExchange(&interrupted, 1);
    return TRUE;
}

}  // namespace

InterruptsDeferred::InterruptsDeferred() { SetConsoleCtrlHandler(NoteInterrupt, TRUE); }

InterruptsDeferred::~InterruptsDeferred() {
    SetConsoleCtrlHandler(NoteInterrupt, FALSE);
    if (interrupted) ExitProcess(130);
}

namespace {

volatile LONG guard_armed = 0;
volatile LONG interrupted_while_armed = 0;

// Console events: while a guard is armed they are noted and swallowed;
// otherwise the default handler ends the process as usual.
BOOL WINAPI NoteInterruptWhileArmed(DWORD) {
    if (!guard_armed) return FALSE;
    InterlockedExchange(&interrupted_while_armed, 1);
    return TRUE;
}

}  // namespace

void TemporaryFileGuard::Arm() {
    static const bool installed = SetConsoleCtrlHandler(NoteInterruptWhileArmed, TRUE) != 0;
    (void)installed;
    InterlockedExchange(&guard_armed, 1);
    armed_ = true;
}

void TemporaryFileGuard::Disarm() {
    if (!armed_) return;
    armed_ = false;
    InterlockedExchange(&guard_armed, 0);
    if (interrupted_while_armed) ExitProcess(130);
}
#else
InterruptsDeferred::InterruptsDeferred() {
    sigset_t deferred;
    sigemptyset(&deferred);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&deferred, signal_number);
    sigprocmask(SIG_BLOCK, &deferred, &previous_);
}

InterruptsDeferred::~InterruptsDeferred() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

namespace {

// What the handler may touch: a name in a fixed buffer, the directory it is
// in, and a flag.
char armed_name[4096];
volatile sig_atomic_t armed_directory = -1;
volatile sig_atomic_t guard_armed = 0;

void RemoveArmedFileAndDie(int signal_number) {
    if (guard_armed) unlinkat(armed_directory, armed_name, 0);
    // The signal stays blocked while its handler runs: raised again with the
    // default action, it ends the process as soon as the handler returns.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void InstallHandlersOnce() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction removing = {};
        removing.sa_handler = RemoveArmedFileAndDie;
        sigemptyset(&removing.sa_mask);
        sigaction(signal_number, &removing, nullptr);
    }
}

}  // namespace

void TemporaryFileGuard::Arm(int directory, const std::string& name) {
    InstallHandlersOnce();
    guard_armed = 0;
    // A name too long for the buffer is not guarded; the name is still fresh.
    if (name.size() >= sizeof armed_name) return;
    std::memcpy(armed_name, name.c_str(), name.size() + 1);
    armed_directory = directory;
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
    guard_armed = 1;
    armed_ = true;
}

void TemporaryFileGuard::Disarm() {
    if (!armed_) return;
    armed_ = false;
    guard_armed = 0;
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
}
#endif

}  // namespace kova::cli
