// Holding off Ctrl-C, hang-ups and terminations while a file is put in
// place, so that an interrupted command leaves either the old file or the
// whole new one, and never a temporary file beside it.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

namespace kova::cli {

// While one exists, those signals stay pending (on Windows, console control
// events are noted); they take effect when it goes.
struct InterruptsDeferred {
    InterruptsDeferred();
    ~InterruptsDeferred();
    InterruptsDeferred(const InterruptsDeferred&) = delete;
    InterruptsDeferred& operator=(const InterruptsDeferred&) = delete;

#if !defined(_WIN32)
private:
    sigset_t previous_;
#endif
};

}  // namespace kova::cli
