// The host's side of the plug-in conversation: probe a file, list an archive,
// take one entry's content. Everything goes through the exports and the
// local-memory functions, exactly as a viewer would drive the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/plugin_loader.h"

namespace kova::cli {

struct ListedEntry {
    uint64_t index = 0;  // the record's position: what GetFile takes back
    std::string name;
    uint64_t packed_size = 0;
    uint64_t unpacked_size = 0;
};

struct ListedArchive {
    std::string path;
    uint64_t offset = 0;  // where the archive starts inside the file
    std::vector<ListedEntry> entries;
    // The size the archive's header gives, and what the file holds from the
    // archive's start. The plug-in reads missing bytes as zero; the user is
    // told when there are any.
    uint64_t declared_size = 0;
    uint64_t available_size = 0;
    bool IsCutShort() const { return available_size < declared_size; }
};

enum class ProbeOutcome { kRecognized, kNotRecognized, kUnreadable };

// Reads the file's first 2048 bytes from `offset` (zero-padded) and asks the
// plug-in about them. A recognized file's base name becomes the one the
// plug-in names entries after. `error` says why when the outcome is not
// kRecognized.
ProbeOutcome ProbeFile(const PluginApi& api, const std::string& path, uint64_t offset, std::string& error);

// Probes, then lists every entry; warns on standard error when the file
// holds less than the archive's header says. False with a complete message
// in `error`.
bool ListArchive(const PluginApi& api, const std::string& path, uint64_t offset, ListedArchive& archive,
                 std::string& error);

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

// Extracts `entry` of `archive` into `content`. An entry whose unpacked size
// is 0 has nothing to extract, and gives empty content. False with a complete
// message in `error`.
bool ExtractEntry(const PluginApi& api, const ListedArchive& archive, const ListedEntry& entry,
                  EntryContent& content, std::string& error);

}  // namespace kova::cli
