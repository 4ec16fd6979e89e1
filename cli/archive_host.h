// The host's side of the plug-in conversation: probe a file, list an archive,
// take one entry's content. Everything goes through the exports and the
// local-memory functions, exactly as a viewer would drive the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/mapped_archive.h"
#include "host/plugin_loader.h"

namespace kova::cli {

struct ListedEntry {
    uint64_t index = 0;  // the record's position: what GetFile takes back
    std::string name;
    uint64_t packed_size = 0;
    uint64_t unpacked_size = 0;
    // From the archive's own index and the entry's head (damage_report.h),
    // which the plug-in's record does not carry.
    uint64_t data_offset = 0;
    uint8_t method_byte = 0;
    bool coded = false;
    const char* kind = "dat";  // bmp, wav, mid or dat
};

// Where an archive comes from. A file is read by the plug-in from its name;
// an archive inside a larger file (for extraction) or on standard input is
// read into memory and handed to the plug-in as an image.
struct ArchiveSource {
    std::string path;
    uint64_t offset = 0;               // where the archive starts inside the file
    bool in_memory = false;            // read into memory and handed over as an image
    bool standard_input = false;       // the archive comes on standard input ("-")
    bool for_extraction = false;       // entries will be extracted from it
    std::string stdin_name = "stdin";  // the name standard input's entries are named after

    bool FromStandardInput() const { return standard_input; }
};

struct ListedArchive {
    std::string path;     // as given
    std::string display;  // as the user is told of it
    uint64_t offset = 0;  // where the archive starts inside the file
    // Memory input: the image the plug-in reads, from the archive's start.
    std::shared_ptr<const std::vector<uint8_t>> image;
    std::vector<ListedEntry> entries;
    // The size the archive's header gives, and what the file holds from the
    // archive's start. The plug-in reads missing bytes as zero; the user is
    // told when there are any.
    uint64_t declared_size = 0;
    uint64_t available_size = 0;
    bool IsCutShort() const { return available_size < declared_size; }
    // The file mapped for extraction, on the first entry extracted.
    mutable std::shared_ptr<MappedArchive> mapped;
    mutable bool mapping_tried = false;
};

enum class ProbeOutcome { kRecognized, kNotRecognized, kUnreadable };

// Reads the file's first 2048 bytes from `offset` (zero-padded) and asks the
// plug-in about them. A recognized file's base name becomes the one the
// plug-in names entries after. `error` says why when the outcome is not
// kRecognized.
ProbeOutcome ProbeFile(const PluginApi& api, const std::string& path, uint64_t offset, std::string& error);

// Probes, then lists every entry. Memory input is used only where the
// plug-in reads the image as its own layout says, so that it gives the
// answer file input would: the index right after the header, and no more
// entries than GetFile reaches in memory. False with a complete message in
// `error`.
bool ListArchive(const PluginApi& api, const ArchiveSource& source, ListedArchive& archive, std::string& error);

// The same for an archive file read by name, `offset` bytes in.
bool ListArchive(const PluginApi& api, const std::string& path, uint64_t offset, ListedArchive& archive,
                 std::string& error);

// The archive's name as its entries are named after: the file name, or the
// name given for standard input.
std::string NamingPath(const ArchiveSource& source);

// One entry's decoded content, in the block the plug-in handed over. The
// block is the host's, so this releases it.
struct EntryContent {
    const PluginApi* api = nullptr;
    HLOCAL handle = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;

    EntryContent() = default;
    EntryContent(const EntryContent&) = delete;
    EntryContent& operator=(const EntryContent&) = delete;
    ~EntryContent() { Release(); }
    void Release();
};

// Extracts `entry` of `archive` into `content`, from the file mapped once
// where memory input answers as file input does (cli/mapped_archive.h), by
// file name otherwise. An entry whose unpacked size
// is 0 has nothing to extract, and gives empty content. False with a complete
// message in `error`.
bool ExtractEntry(const PluginApi& api, const ListedArchive& archive, const ListedEntry& entry,
                  EntryContent& content, std::string& error);

}  // namespace kova::cli
