// Writing an archive for `kova pack` and `kova replace`, so that whatever
// happens the user keeps either the old file or the whole new one, with the
// old one's permissions, owner and links kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/file_writer.h"

namespace kova::cli {

// Where an archive written to a path goes: a symbolic link there is
// followed to the file it names, which is what gets replaced, so the link
// stays a link. `attributes` are the replaced file's.
struct ArchiveTarget {
    std::string directory;  // holding the file
    std::string name;       // its final component
    std::string display;    // the path as given, for messages
    bool exists = false;
    KeptAttributes attributes;
};

// False with a complete message when `path` cannot be written as an
// archive: it is a directory or other non-file, or a file with more than
// one hard link and `split_links` is not set (replacing it would part it
// from its other names without a word).
bool ResolveArchiveTarget(const std::string& path, bool split_links, ArchiveTarget& target, std::string& error);

// Writes the archive of `entries` (stored bytes, in index order) to
// `target`: a new file, renamed over the old only when complete. An
// interrupt (Ctrl-C, hang-up, termination) before the rename leaves the old
// file exactly as it was and nothing beside it. False with a complete
// message in `error`; the target is then as it was.
bool WriteArchiveFile(const ArchiveTarget& target, const std::vector<std::vector<uint8_t>>& entries,
                      std::string& error);

}  // namespace kova::cli
