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

// An archive written to `target` one entry at a time, so that no more than
// the entry in hand is held: the entries' stored bytes go out as they come,
// after room for the header and index, which are written last, once every
// size is known. The new file is renamed over the old only at Finish; an
// interrupt (Ctrl-C, hang-up, termination) or a failure before then leaves
// the old file exactly as it was and nothing beside it. Every call returns
// false with a complete message in `error`, and the archive is then
// abandoned.
class ArchiveFileWriter {
public:
    // An archive of `count` entries.
    bool Begin(const ArchiveTarget& target, size_t count, std::string& error);
    // More of the current entry's stored bytes.
    bool Append(const uint8_t* data, size_t size, std::string& error);
    // The current entry is complete; the next Append starts another.
    bool EndEntry(std::string& error);
    bool AddEntry(const std::vector<uint8_t>& stored, std::string& error) {
        return Append(stored.data(), stored.size(), error) && EndEntry(error);
    }
    // After `count` entries: the front, then the file's name.
    bool Finish(std::string& error);

private:
    bool TooLarge(std::string& error);

    const ArchiveTarget* target_ = nullptr;
    OutputDirectory directory_;
    NewFile file_;
    size_t count_ = 0;
    std::vector<uint32_t> sizes_;
    uint64_t entry_size_ = 0;
    uint64_t written_ = 0;  // the archive's size so far, front included
};

}  // namespace kova::cli
