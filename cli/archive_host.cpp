#include "cli/archive_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/messages.h"
#include "cli/text.h"
#include "format/bytes.h"
#include "format/layout.h"
#include "host/driver.h"
#include "plugin/interface.h"

namespace kova::cli {
namespace {

// GetFile flag: the archive by file name, the content into a memory block.
constexpr unsigned kFileToMemory = FlagOf(kInputFile, kOutputMemory);

struct OpenedFile {
    std::FILE* file = nullptr;
    ~OpenedFile() {
        if (file != nullptr) std::fclose(file);
    }
};

// The path as the plug-in is to see it. On Windows the plug-in splits paths
// only at the backslash, as the system's dialogs and shells write them; '/'
// separates components just as well for Windows itself, so a path typed with
// '/' is handed over in the backslash form. Otherwise the plug-in would take
// the directories for part of the archive's base name.
#ifdef _WIN32
std::string BackslashPath(const std::string& path) {
    std::string converted = path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
}
// On Windows the Unicode exports take any path the system can open; the
// ANSI ones only what the code page spells.
bool UsesWide(const PluginApi& api) { return api.HasWide(); }
std::wstring WidePluginPath(const std::string& path) { return WideOf(BackslashPath(path)); }
std::string PluginPath(const std::string& path) { return AnsiOf(BackslashPath(path)); }
#else
// Elsewhere paths are bytes, which the ANSI exports take as they are.
bool UsesWide(const PluginApi&) { return false; }
std::u16string WidePluginPath(const std::string&) { return {}; }
std::string PluginPath(const std::string& path) { return path; }
#endif

// A temporary's characters as the Unicode exports' WCHAR (the same units).
template <typename Unit>
const WCHAR* ToWchar(const std::basic_string<Unit>& text) {
    static_assert(sizeof(Unit) == sizeof(WCHAR));
    return reinterpret_cast<const WCHAR*>(text.c_str());
}

bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The file's head, zero-padded: a file shorter than the head is simply
// shorter, not an error.
bool ReadHead(const std::string& path, uint64_t offset, uint8_t (&head)[kProbeHeadSize], std::string& error) {
    std::error_code ignored;
    if (std::filesystem::is_directory(PathOf(path), ignored)) {
        error = "cannot open " + path + ": it is a directory";
        return false;
    }
    OpenedFile opened;
    opened.file = OpenFile(path, "rb");
    if (opened.file == nullptr) {
        error = "cannot open " + path + ": " + DescribeErrno(errno);
        return false;
    }
    std::memset(head, 0, sizeof head);
    if (!SeekTo(opened.file, offset)) {
        error = "cannot read " + path + " at offset " + std::to_string(offset) + ": " + DescribeErrno(errno);
        return false;
    }
    std::fread(head, 1, sizeof head, opened.file);
    if (std::ferror(opened.file)) {
        error = "cannot read " + path + ": " + DescribeErrno(errno);
        return false;
    }
    return true;
}

// The field is zero-filled by the plug-in, but never trust a host-facing
// record to be terminated.
std::string NameOf(const EntryInfo& record) {
    const char* end = std::find(record.filename, record.filename + sizeof record.filename, '\0');
#ifdef _WIN32
    return Utf8OfAnsi(record.filename, static_cast<size_t>(end - record.filename));
#else
    return std::string(record.filename, end);
#endif
}

std::string NameOf(const EntryInfoW& record) {
    const WCHAR* end = std::find(record.filename, record.filename + 200, WCHAR{0});
#ifdef _WIN32
    return Utf8OfWide(record.filename, static_cast<size_t>(end - record.filename));
#else
    (void)end;
    return {};  // the command uses the ANSI exports here
#endif
}

// Copies the records out of the list block; the list ends at the first
// record whose method starts with a zero byte, or at the block's end.
template <typename Record>
bool ReadListedEntries(const PluginApi& api, HLOCAL list, std::vector<ListedEntry>& entries) {
    ListBlockOf<Record> block = ReadListBlock<Record>(api, list);
    if (!block.readable) return false;
    for (const Record& record : block.records) {
        ListedEntry entry;
        entry.index = record.position;
        entry.name = NameOf(record);
        entry.packed_size = record.packed_size;
        entry.unpacked_size = record.unpacked_size;
        entries.push_back(std::move(entry));
    }
    return true;
}

// The archive_size field of a recognized head.
uint64_t DeclaredSize(const uint8_t (&head)[kProbeHeadSize]) {
    return ReadHeader(ByteSpan(head, sizeof head)).archive_size;
}

uint64_t AvailableFrom(const std::string& path, uint64_t offset) {
    std::error_code failed;
    uint64_t size = std::filesystem::file_size(PathOf(path), failed);
    if (failed || size < offset) return 0;
    return size - offset;
}

ProbeOutcome ProbeHead(const PluginApi& api, const std::string& path, uint64_t offset,
                       uint8_t (&head)[kProbeHeadSize], std::string& error) {
    if (!ReadHead(path, offset, head, error)) return ProbeOutcome::kUnreadable;
    DWORD_PTR dw = reinterpret_cast<DWORD_PTR>(head);
    int recognized = UsesWide(api) ? api.is_supported_w(ToWchar(WidePluginPath(path)), dw)
                                   : api.is_supported(PluginPath(path).c_str(), dw);
    if (recognized == 0) {
        error = path + ": not a KOVA archive";
        if (offset != 0) error += " at offset " + std::to_string(offset);
        return ProbeOutcome::kNotRecognized;
    }
    return ProbeOutcome::kRecognized;
}

}  // namespace

ProbeOutcome ProbeFile(const PluginApi& api, const std::string& path, uint64_t offset, std::string& error) {
    uint8_t head[kProbeHeadSize];
    return ProbeHead(api, path, offset, head, error);
}

bool ListArchive(const PluginApi& api, const std::string& path, uint64_t offset, ListedArchive& archive,
                 std::string& error) {
    archive = ListedArchive{};
    archive.path = path;
    archive.offset = offset;
    // The probe comes first, as in every host: it is what gives the entries
    // this archive's base name.
    uint8_t head[kProbeHeadSize];
    if (ProbeHead(api, path, offset, head, error) != ProbeOutcome::kRecognized) return false;
    archive.declared_size = DeclaredSize(head);
    archive.available_size = AvailableFrom(path, offset);

    // Set to something first: a failing call must leave no handle behind.
    HLOCAL list = nullptr;
    bool wide = UsesWide(api);
    int result = wide ? api.get_archive_info_w(ToWchar(WidePluginPath(path)), static_cast<LONG_PTR>(offset), 0, &list)
                      : api.get_archive_info(PluginPath(path).c_str(), static_cast<LONG_PTR>(offset), 0, &list);
    if (result != 0) {
        if (list != nullptr) api.local_free(list);
        error = path + ": " + (result == kNoHostBlock
                                   ? "the plug-in cannot allocate the list of entries (out of memory, or the "
                                     "header claims more entries than can be listed)"
                                   : DescribeResult(result));
        return false;
    }
    if (list == nullptr) {
        error = path + ": the plug-in reported success but handed over no list";
        return false;
    }
    bool read = wide ? ReadListedEntries<EntryInfoW>(api, list, archive.entries)
                     : ReadListedEntries<EntryInfo>(api, list, archive.entries);
    api.local_free(list);
    if (!read) {
        error = path + ": the plug-in's list cannot be read (its block does not lock)";
        return false;
    }
    if (archive.IsCutShort()) {
        ReportWarning(path + ": the file is cut short: the archive's header gives " +
                      std::to_string(archive.declared_size) + " bytes, the file holds " +
                      std::to_string(archive.available_size) + "; the missing bytes read as zero");
    }
    return true;
}

void EntryContent::Release() {
    if (handle != nullptr) {
        if (data != nullptr) api->local_unlock(handle);
        api->local_free(handle);
    }
    handle = nullptr;
    data = nullptr;
    size = 0;
}

bool ExtractEntry(const PluginApi& api, const ListedArchive& archive, const ListedEntry& entry,
                  EntryContent& content, std::string& error) {
    content.Release();
    content.api = &api;
    std::string subject = archive.path + ": entry " + std::to_string(entry.index) + " (" + entry.name + ")";
    if (archive.offset != 0) {
        // GetFile with a file name always reads the archive from byte 0.
        error = subject + ": entries can be extracted only from an archive at the start of its file";
        return false;
    }

    HLOCAL block = nullptr;
    LONG_PTR index = static_cast<LONG_PTR>(entry.index);
    int result = UsesWide(api) ? api.get_file_w(ToWchar(WidePluginPath(archive.path)), index,
                                                reinterpret_cast<WCHAR*>(&block), kFileToMemory, nullptr, 0)
                               : api.get_file(PluginPath(archive.path).c_str(), index,
                                              reinterpret_cast<char*>(&block), kFileToMemory, nullptr, 0);
    if (result != 0) {
        if (block != nullptr) api.local_free(block);
        // A zero-size block cannot be locked, so the plug-in refuses empty
        // entries; their content is simply nothing.
        if (result == kNoWorkingMemory && entry.unpacked_size == 0) return true;
        error = subject + ": " + (result == kNoHostBlock
                                      ? "out of memory: the plug-in cannot allocate the " +
                                            std::to_string(entry.unpacked_size) + " bytes the entry unpacks to"
                                      : DescribeResult(result));
        return false;
    }
    if (block == nullptr) {
        error = subject + ": the plug-in reported success but handed over no content";
        return false;
    }
    content.handle = block;
    content.size = api.local_size(block);
    if (content.size == 0) return true;
    content.data = static_cast<const uint8_t*>(api.local_lock(block));
    if (content.data == nullptr) {
        error = subject + ": the content block the plug-in handed over cannot be locked";
        content.Release();
        return false;
    }
    return true;
}

}  // namespace kova::cli
