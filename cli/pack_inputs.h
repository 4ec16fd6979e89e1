// What `kova pack` turns into entries: files named on the command line, one
// entry each, and directories whose files carry entry indexes in their
// names, as `kova extract` writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::cli {

// Inputs in entry order: each file given, and each directory's files in
// index order. Hidden files (".x") and editor backups ("x~") in a directory
// are passed over. A directory whose files leave a gap in the indexes,
// repeat one, or include a file or directory without one is refused. False
// with a complete message in `error`, naming the file. So is anything in a
// directory that is not a regular file. The archive at `output` is never
// taken from a directory as an input.
bool CollectPackInputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::vector<std::string>& files, std::string& error);

// The whole of a file, or of a FIFO read to its end. False with a complete
// message in `error`; a file over the format's 32-bit sizes is refused by
// its size before a byte of it is read (a stream, as soon as it passes).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace kova::cli
