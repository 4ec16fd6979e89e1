// What the command tells its user when something goes wrong, and how it
// exits: 0 done, 1 failed, 2 the command line itself was wrong.
#pragma once

#include <string>

namespace kova::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Flushes standard output; false when anything written to it was lost.
// The first reason is kept for StandardOutputError (an errno value, or 0).
bool FlushStandardOutput();
int StandardOutputError();

// Writes "kova: <message>" as one line on standard error.
void ReportError(const std::string& message);

// A command line that makes no sense: "kova COMMAND: <message>; see 'kova
// COMMAND --help'" as one line on standard error (with no command, "kova:
// <message>; see 'kova --help'"). Returns the exit code for it, 2.
int ReportUsageError(const std::string& command, const std::string& message);

// Writes "kova: warning: <message>" as one line on standard error.
void ReportWarning(const std::string& message);

// The system's words for an errno value ("No such file or directory").
std::string DescribeErrno(int error_number);

// `text` as it can be shown and typed back: valid UTF-8 as it is, every
// other byte, and control characters, as \xNN. Names from an archive are
// bytes in whatever code page made them; a replacement character would
// make a name that no file and no selection matches.
std::string Printable(const std::string& text);

// What the command is doing now ("reading disk1.DAT"), kept in memory of
// its own so that running out of memory can still be told with it.
void SetActivity(const std::string& what);
// Says the command ran out of memory while doing it, without allocating.
void ReportOutOfMemory();

// "1 entry", "7 entries".
std::string CountOf(unsigned long long count, const char* singular, const char* plural);

}  // namespace kova::cli
