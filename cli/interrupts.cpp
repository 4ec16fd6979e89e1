#include "cli/interrupts.h"

#include <initializer_list>

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
#else
InterruptsDeferred::InterruptsDeferred() {
    sigset_t deferred;
    sigemptyset(&deferred);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&deferred, signal_number);
    sigprocmask(SIG_BLOCK, &deferred, &previous_);
}

InterruptsDeferred::~InterruptsDeferred() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
#endif

}  // namespace kova::cli
