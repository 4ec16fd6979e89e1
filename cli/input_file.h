// Opening what the command line names for reading, judged before a byte of
// it is read: a file is read where it lies, a FIFO or pipe as a stream (as
// standard input is), and anything else (a directory, a device, a socket)
// is refused at once, so that no command waits forever on an open or a read.
#pragma once

#include <cstdint>
#include <string>

#include "archive/file_io.h"

namespace kova::cli {

enum class InputKind { kFile, kStream };

struct InputFile {
    FileHandle file;
    InputKind kind = InputKind::kFile;
    uint64_t size = 0;  // of a file, as the system gave it when opened
};

// Opens `path` (UTF-8) without waiting for a writer. False with a complete
// message in `error`.
bool OpenInputFile(const std::string& path, InputFile& input, std::string& error);

// Standard input as an InputFile (not owned: closing it leaves fd 0 open
// on POSIX systems, where the handle is a duplicate).
bool OpenStandardInputFile(InputFile& input, std::string& error);

}  // namespace kova::cli
