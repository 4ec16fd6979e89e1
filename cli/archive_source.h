// Where the command's archives come from, and an archive opened for a
// command: through the archive library, from one reader over a file, a file
// at an offset, or standard input. Entries are named, typed and sized with
// the functions the plug-in's exports call, so the command shows what a
// viewer shows; but nothing of a viewer's limits applies.
#pragma once

#include <cstdint>
#include <string>

#include "archive/archive_reader.h"
#include "archive/entry_content.h"
#include "archive/integrity.h"
#include "cli/commands.h"

namespace kova::cli {

// Where an archive comes from.
struct ArchiveSource {
    std::string path;
    uint64_t offset = 0;               // where the archive starts inside the file
    bool standard_input = false;       // the archive comes on standard input ("-")
    std::string stdin_name = "stdin";  // the name standard input's entries are named after

    bool FromStandardInput() const { return standard_input; }
};

// One entry as the command tells of it.
struct ListedEntry {
    uint32_t index = 0;
    std::string name;
    uint64_t packed_size = 0;
    uint64_t unpacked_size = 0;
    uint64_t data_offset = 0;
    uint8_t method_byte = 0;
    bool coded = false;
    const char* kind = "dat";  // bmp, wav, mid or dat
};

// An archive open for reading. What the index and heads say of every entry
// is held compactly (IntegrityReport); names are made when asked for, from
// the base name, so that nothing grows with the entries but the index and
// those facts.
struct ListedArchive {
    std::string path;     // as given
    std::string display;  // as the user is told of it
    uint64_t offset = 0;
    std::string base_name;  // UTF-8: what the entries are named after
    std::string printable_base_name;
    ArchiveReader reader;
    IntegrityReport report;
    bool streamed = false;  // read from a pipe or FIFO, through a spooled copy

    uint32_t Count() const { return static_cast<uint32_t>(report.entries.size()); }
    // "<base>_<index>.<extension>", as the plug-in names it; and the same
    // as Printable() makes it, for the terminal.
    std::string NameOf(uint32_t index) const;
    std::string PrintableNameOf(uint32_t index) const;
    ListedEntry EntryAt(uint32_t index) const;
    // The size the archive's header gives, and what the source holds from
    // the archive's start; missing bytes read as zero.
    uint64_t DeclaredSize() const { return report.archive_size; }
    uint64_t AvailableSize() const { return report.available_bytes; }
};

enum class ProbeOutcome { kRecognized, kNotRecognized, kUnreadable };

// Is the file, from `offset`, one of our archives? `error` says why when
// the outcome is not kRecognized.
ProbeOutcome ProbeFile(const std::string& path, uint64_t offset, std::string& error);

// Opens the archive and walks it to `depth` (archive/integrity.h). False
// with a complete message in `error`.
bool OpenListedArchive(const ArchiveSource& source, IntegrityDepth depth, ListedArchive& archive,
                       std::string& error);

// The archive's name as its entries are named after: the file name, or the
// name given for standard input.
std::string NamingPath(const ArchiveSource& source);

// The base name entries of the archive at `naming_path` are called after.
std::string BaseNameFor(const std::string& naming_path);

// One entry's decoded content, zeros where the stream leaves bytes
// unwritten, exactly as the plug-in hands it to a host. `data` may lie in
// the archive reader's window: use it before the next read of the archive.
struct EntryContent {
    StoredEntry stored;
    HeapBuffer buffer;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// The largest decoding buffer kept from one entry for the next.
constexpr size_t kSharedContentBuffer = size_t{1} << 20;

// Decodes entry `index` into `content`, reusing its buffer when it is
// small and large enough. False with a complete message in
// `error` (no memory for it).
bool ReadEntryContent(const ListedArchive& archive, uint32_t index, EntryContent& content, std::string& error);

// The sniffed kind's short name: bmp, wav, mid or dat.
const char* KindName(EntryKind kind);

}  // namespace kova::cli
