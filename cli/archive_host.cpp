#include "cli/archive_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/messages.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "format/bytes.h"
#include "format/layout.h"
#include "host/driver.h"
#include "plugin/interface.h"

namespace kova::cli {
namespace {

// GetFile flag: the archive by file name, the content into a memory block.
constexpr unsigned kFileToMemory = FlagOf(kInputFile, kOutputMemory);
constexpr unsigned kImageToMemory = FlagOf(kInputMemory, kOutputMemory);
// GetFile with memory input finds the image by looking back from
// image + index for the magic, at most this far.
constexpr uint64_t kMemoryInputEntries = 1048576;

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

// Takes the records straight from the list block, without a copy of it:
// the list ends at the first record whose method starts with a zero byte,
// or at the block's end.
template <typename Record>
bool ReadListedEntries(const PluginApi& api, HLOCAL list, std::vector<ListedEntry>& entries) {
    size_t capacity = api.local_size(list) / sizeof(Record);
    const auto* records = static_cast<const Record*>(api.local_lock(list));
    if (records == nullptr) return false;
    entries.reserve(capacity);
    for (size_t i = 0; i < capacity && records[i].method[0] != 0; ++i) {
        const Record& record = records[i];
        ListedEntry entry;
        entry.index = record.position;
        entry.name = NameOf(record);
        entry.packed_size = record.packed_size;
        entry.unpacked_size = record.unpacked_size;
        entries.push_back(std::move(entry));
    }
    api.local_unlock(list);
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

// Everything from `stream`'s current position to its end.
bool ReadRest(std::FILE* stream, std::vector<uint8_t>& bytes) {
    uint8_t chunk[1 << 16];
    for (;;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, stream);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) return !std::ferror(stream);
    }
}

bool LoadImage(const ArchiveSource& source, std::vector<uint8_t>& image, std::string& error) {
    if (source.FromStandardInput()) {
        UseBinaryStandardInput();
        if (!ReadRest(stdin, image)) {
            error = "cannot read standard input: " + DescribeErrno(errno);
            return false;
        }
        return true;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(PathOf(source.path), ignored)) {
        error = "cannot open " + source.path + ": it is a directory";
        return false;
    }
    OpenedFile opened;
    opened.file = OpenFile(source.path, "rb");
    if (opened.file == nullptr) {
        error = "cannot open " + source.path + ": " + DescribeErrno(errno);
        return false;
    }
    if (!SeekTo(opened.file, source.offset) || !ReadRest(opened.file, image)) {
        error = "cannot read " + source.path + ": " + DescribeErrno(errno);
        return false;
    }
    return true;
}

// Memory input reads the index at byte 24 whatever the header says, and
// GetFile reaches only the first 1,048,576 entries of an image; it also
// takes the first magic back from image + index for the image's start.
// Where any of that would give another answer than the archive's own
// layout, the archive is refused rather than read differently.
bool SuitsMemoryInput(const std::vector<uint8_t>& image, const std::string& subject, std::string& error) {
    ArchiveHeader header = ReadHeader(ByteSpan(image.data(), image.size()));
    if (header.index_offset != kImageIndexStart) {
        error = subject + ": its index is at byte " + std::to_string(header.index_offset) +
                ", not right after the header; such an archive can be read only from a file that starts with it";
        return false;
    }
    if (header.entry_count > kMemoryInputEntries) {
        error = subject + ": it has " + std::to_string(header.entry_count) +
                " entries; from memory the plug-in reaches only the first " + std::to_string(kMemoryInputEntries) +
                ", so it can be read only from a file that starts with it";
        return false;
    }
    size_t reach = std::min<size_t>(image.size(), size_t{header.entry_count} + sizeof kMagic);
    for (size_t at = 1; at + sizeof kMagic <= reach; ++at) {
        if (std::memcmp(image.data() + at, kMagic, sizeof kMagic) == 0) {
            error = subject + ": its index holds the bytes 'KOVA', which the plug-in would take for the start "
                              "of the archive; it can be read only from a file that starts with it";
            return false;
        }
    }
    return true;
}

bool ListImage(const PluginApi& api, const ArchiveSource& source, ListedArchive& archive, std::string& error) {
    auto image = std::make_shared<std::vector<uint8_t>>();
    if (!LoadImage(source, *image, error)) return false;
    archive.image = image;
    archive.available_size = image->size();
    uint8_t head[kProbeHeadSize] = {};
    if (!image->empty()) std::memcpy(head, image->data(), std::min(image->size(), sizeof head));
    DWORD_PTR dw = reinterpret_cast<DWORD_PTR>(head);
    std::string naming = NamingPath(source);
    int recognized = UsesWide(api) ? api.is_supported_w(ToWchar(WidePluginPath(naming)), dw)
                                   : api.is_supported(PluginPath(naming).c_str(), dw);
    if (recognized == 0 || image->size() < kValidatedBytes) {
        error = archive.display + ": not a KOVA archive";
        if (source.offset != 0) error += " at offset " + std::to_string(source.offset);
        return false;
    }
    archive.declared_size = DeclaredSize(head);
    return SuitsMemoryInput(*image, archive.display, error);
}

}  // namespace

ProbeOutcome ProbeFile(const PluginApi& api, const std::string& path, uint64_t offset, std::string& error) {
    uint8_t head[kProbeHeadSize];
    return ProbeHead(api, path, offset, head, error);
}

std::string NamingPath(const ArchiveSource& source) {
    return source.FromStandardInput() ? source.stdin_name : source.path;
}

bool ListArchive(const PluginApi& api, const ArchiveSource& source, ListedArchive& archive, std::string& error) {
    archive = ListedArchive{};
    archive.path = source.path;
    archive.display = source.FromStandardInput() ? "standard input" : source.path;
    archive.offset = source.offset;
    // The probe comes first, as in every host: it is what gives the entries
    // this archive's base name.
    HLOCAL list = nullptr;  // a failing call must leave no handle behind
    int result = 0;
    bool wide = UsesWide(api);
    if (source.in_memory || source.FromStandardInput()) {
        if (!ListImage(api, source, archive, error)) return false;
        // With memory input the first argument points at the image's bytes,
        // in either family.
        const void* image = archive.image->data();
        LONG_PTR length = static_cast<LONG_PTR>(archive.image->size());
        result = wide ? api.get_archive_info_w(static_cast<const WCHAR*>(image), length, kInputMemory, &list)
                      : api.get_archive_info(static_cast<const char*>(image), length, kInputMemory, &list);
    } else {
        uint8_t head[kProbeHeadSize];
        if (ProbeHead(api, source.path, source.offset, head, error) != ProbeOutcome::kRecognized) return false;
        archive.declared_size = DeclaredSize(head);
        archive.available_size = AvailableFrom(source.path, source.offset);
        bool listed = false;
        if (source.for_extraction && source.offset == 0 && !wide) {
            // The file mapped now serves the listing and then every entry;
            // the plug-in reads it in place instead of copying it in.
            archive.mapping_tried = true;
            archive.mapped = MapArchive(source.path);
            MappedOutcome mapped = MappedOutcome::kUnsuitable;
            if (archive.mapped != nullptr) mapped = ListMapped(api, *archive.mapped, result, list);
            if (mapped == MappedOutcome::kFaulted) archive.mapped = nullptr;
            // A refusal is asked again by file name, whose answer stands.
            listed = mapped == MappedOutcome::kCalled && result == 0;
            if (!listed && list != nullptr) api.local_free(list);
            if (!listed) list = nullptr;
        }
        LONG_PTR offset = static_cast<LONG_PTR>(source.offset);
        if (!listed) {
            result = wide ? api.get_archive_info_w(ToWchar(WidePluginPath(source.path)), offset, 0, &list)
                          : api.get_archive_info(PluginPath(source.path).c_str(), offset, 0, &list);
        }
    }
    const std::string& path = archive.display;
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
    return true;
}

bool ListArchive(const PluginApi& api, const std::string& path, uint64_t offset, ListedArchive& archive,
                 std::string& error) {
    ArchiveSource source;
    source.path = path;
    source.offset = offset;
    return ListArchive(api, source, archive, error);
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
    // Told only when something goes wrong: thousands of entries go right.
    auto subject = [&] { return archive.display + ": entry " + std::to_string(entry.index) + " (" + entry.name + ")"; };
    HLOCAL block = nullptr;
    int result = 0;
    LONG_PTR index = static_cast<LONG_PTR>(entry.index);
    bool wide = UsesWide(api);
    if (archive.image != nullptr) {
        // The plug-in finds the image's start by looking back from here.
        const void* at = archive.image->data() + entry.index;
        LONG_PTR length = static_cast<LONG_PTR>(archive.image->size());
        result = wide ? api.get_file_w(static_cast<const WCHAR*>(at), length, reinterpret_cast<WCHAR*>(&block),
                                       kImageToMemory, nullptr, 0)
                      : api.get_file(static_cast<const char*>(at), length, reinterpret_cast<char*>(&block),
                                     kImageToMemory, nullptr, 0);
    } else if (archive.offset != 0) {
        // GetFile with a file name always reads the archive from byte 0.
        error = subject() + ": entries can be extracted only from an archive at the start of its file";
        return false;
    } else {
        // The file mapped once serves every entry memory input reaches as
        // file input does; the others are read by the file's name.
        if (!archive.mapping_tried && !wide) {
            archive.mapping_tried = true;
            archive.mapped = MapArchive(archive.path);
        }
        MappedOutcome mapped = MappedOutcome::kUnsuitable;
        if (archive.mapped != nullptr) mapped = GetFileMapped(api, *archive.mapped, entry.index, result, block);
        if (mapped == MappedOutcome::kFaulted) archive.mapped = nullptr;
        if (mapped != MappedOutcome::kCalled) {
            block = nullptr;
            result = wide ? api.get_file_w(ToWchar(WidePluginPath(archive.path)), index,
                                           reinterpret_cast<WCHAR*>(&block), kFileToMemory, nullptr, 0)
                          : api.get_file(PluginPath(archive.path).c_str(), index, reinterpret_cast<char*>(&block),
                                         kFileToMemory, nullptr, 0);
        }
    }
    if (result != 0) {
        if (block != nullptr) api.local_free(block);
        // A zero-size block cannot be locked, so the plug-in refuses empty
        // entries; their content is simply nothing.
        if (result == kNoWorkingMemory && entry.unpacked_size == 0) return true;
        error = subject() + ": " + (result == kNoHostBlock
                                      ? "out of memory: the plug-in cannot allocate the " +
                                            std::to_string(entry.unpacked_size) + " bytes the entry unpacks to"
                                      : DescribeResult(result));
        return false;
    }
    if (block == nullptr) {
        error = subject() + ": the plug-in reported success but handed over no content";
        return false;
    }
    content.handle = block;
    content.size = api.local_size(block);
    if (content.size == 0) return true;
    content.data = static_cast<const uint8_t*>(api.local_lock(block));
    if (content.data == nullptr) {
        error = subject() + ": the content block the plug-in handed over cannot be locked";
        content.Release();
        return false;
    }
    return true;
}

}  // namespace kova::cli
