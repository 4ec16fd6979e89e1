// Holding off Ctrl-C, hang-ups and terminations while a file is put in
// place, so that an interrupted command leaves either the old file or the
// whole new one, and never a temporary file beside it.
#pragma once

#include <string>

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

// Cheaper where a file is written for every entry: while armed with a
// temporary file's path, an interrupt (Ctrl-C, hang-up, termination) removes
// that file before the process ends; unarmed, nothing is held off and no
// system call is made per file. The handlers are installed once, and only
// for signals the process does not ignore. On Windows the interrupt is
// noted while armed and acted on when disarmed, once the file is in place
// or gone. One guard is armed at a time.
class TemporaryFileGuard {
public:
    TemporaryFileGuard() = default;
    ~TemporaryFileGuard() { Disarm(); }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

#if defined(_WIN32)
    void Arm();
#else
    // `name` inside the directory open as `directory`.
    void Arm(int directory, const std::string& name);
#endif
    void Disarm();

private:
    bool armed_ = false;
};

}  // namespace kova::cli
