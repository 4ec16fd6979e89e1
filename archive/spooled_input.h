// An archive that can be read only forward (standard input, a pipe), copied
// once into a temporary file without a name, so that it is read from there
// exactly as an archive file is: with positioned reads, whatever the order
// of its index and entries, in memory that does not grow with its size.
#pragma once

#include <cstdint>

#include "archive/file_io.h"

namespace kova {

enum class SpoolStatus {
    kOk,
    kNotArchive,       // its head is not one of our archives: nothing more was read
    kReadFailed,       // the input could not be read
    kNoTemporaryFile,  // no temporary file could be made
    kWriteFailed,      // the temporary file could not be written (a full disk)
};

// Copies the archive arriving on `input` into a fresh temporary file, open
// in `spooled` on success; it disappears when closed. Only its head is read
// before it is known to be an archive, and no byte past the last one its
// header, index or entries can reach: anything after that is left unread.
// `bytes` is how many were copied.
SpoolStatus SpoolArchive(HANDLE input, FileHandle& spooled, uint64_t& bytes);

}  // namespace kova
