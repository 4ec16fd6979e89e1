#include "cli/archive_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "archive/base_name.h"
#include "archive/entry_content.h"
#include "archive/spooled_input.h"
#include "cli/messages.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "format/layout.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kova::cli {
namespace {

bool IsDirectory(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(PathOf(path), ignored);
}

// Why the file cannot be opened, in the system's words.
std::string CannotOpen(const std::string& path) {
    if (IsDirectory(path)) return "cannot open " + path + ": it is a directory";
    errno = 0;
    std::FILE* file = OpenFile(path, "rb");
    int error_number = errno;
    if (file != nullptr) std::fclose(file);
    return "cannot open " + path + (error_number != 0 ? ": " + DescribeErrno(error_number) : std::string());
}

std::string NotArchive(const ListedArchive& archive) {
    std::string error = archive.display + ": not a KOVA archive";
    if (archive.offset != 0) error += " at offset " + std::to_string(archive.offset);
    return error;
}

ArchiveStatus OpenPath(const std::string& path, uint64_t offset, ArchiveReader& reader) {
#ifdef _WIN32
    std::wstring wide = WideOf(path);
    return OpenArchiveFile(reinterpret_cast<const WCHAR*>(wide.c_str()), static_cast<int64_t>(offset), reader);
#else
    return OpenArchiveFile(path.c_str(), static_cast<int64_t>(offset), reader);
#endif
}

HANDLE StandardInputHandle() {
#ifdef _WIN32
    return GetStdHandle(STD_INPUT_HANDLE);
#else
    return reinterpret_cast<HANDLE>(intptr_t{0});
#endif
}

// Standard input, copied once into a temporary file and read from there.
bool OpenStandardInput(ListedArchive& archive, std::string& error) {
    UseBinaryStandardInput();
    FileHandle spooled;
    uint64_t bytes = 0;
    errno = 0;
    switch (SpoolArchive(StandardInputHandle(), spooled, bytes)) {
    case SpoolStatus::kOk:
        break;
    case SpoolStatus::kNotArchive:
        error = NotArchive(archive);
        return false;
    case SpoolStatus::kReadFailed:
        error = "cannot read standard input: " + DescribeErrno(errno);
        return false;
    case SpoolStatus::kNoTemporaryFile:
        error = "standard input: no temporary file can be made to read it from (TMPDIR names where): " +
                DescribeErrno(errno);
        return false;
    case SpoolStatus::kWriteFailed:
        error = "standard input: cannot write the temporary copy it is read from: " + DescribeErrno(errno);
        return false;
    }
    ArchiveStatus status = OpenArchiveHandle(spooled, 0, archive.reader);
    if (status == ArchiveStatus::kOk) return true;
    error = status == ArchiveStatus::kNoMemory ? archive.display + ": out of memory reading its index"
                                               : NotArchive(archive);
    return false;
}

}  // namespace

const char* KindName(EntryKind kind) {
    switch (kind) {
    case EntryKind::kBitmap:
        return "bmp";
    case EntryKind::kWave:
        return "wav";
    case EntryKind::kMidi:
        return "mid";
    case EntryKind::kOther:
        break;
    }
    return "dat";
}

std::string NamingPath(const ArchiveSource& source) {
    return source.FromStandardInput() ? source.stdin_name : source.path;
}

std::string BaseNameFor(const std::string& naming_path) {
#ifdef _WIN32
    // Windows hosts hand the plug-in backslash paths, and the Unicode form
    // spells every name; '/' separates components for Windows just as well.
    std::string converted = naming_path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    std::wstring wide = WideOf(converted);
    BaseName base = BaseNameOf(reinterpret_cast<const WCHAR*>(wide.c_str()));
    const wchar_t* units = reinterpret_cast<const wchar_t*>(base.wide);
    return Utf8OfWide(units, std::wcslen(units));
#else
    return BaseNameOf(naming_path.c_str()).text;
#endif
}

namespace {

std::string NameSuffix(const IntegrityReport& report, uint32_t index) {
    char suffix[32];
    EntryKind kind = index < report.entries.size() ? report.entries[index].kind : EntryKind::kOther;
    FormatEntryName(suffix, sizeof suffix, "", index, ExtensionOf(kind));
    return suffix;
}

}  // namespace

std::string ListedArchive::NameOf(uint32_t index) const { return base_name + NameSuffix(report, index); }

// The suffix is ASCII that needs no escaping, and cannot complete a
// character the base name left unfinished.
std::string ListedArchive::PrintableNameOf(uint32_t index) const {
    return printable_base_name + NameSuffix(report, index);
}

ListedEntry ListedArchive::EntryAt(uint32_t index) const {
    const EntryFacts& facts = report.entries[index];
    ListedEntry entry;
    entry.index = index;
    entry.name = NameOf(index);
    entry.packed_size = facts.stored_size;
    entry.unpacked_size = facts.unpacked_size;
    entry.data_offset = facts.data_offset;
    entry.method_byte = facts.method_byte;
    entry.coded = facts.coded;
    entry.kind = KindName(facts.kind);
    return entry;
}

ProbeOutcome ProbeFile(const std::string& path, uint64_t offset, std::string& error) {
    if (IsDirectory(path)) {
        error = "cannot open " + path + ": it is a directory";
        return ProbeOutcome::kUnreadable;
    }
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        error = "cannot open " + path + ": " + DescribeErrno(errno);
        return ProbeOutcome::kUnreadable;
    }
    // A file shorter than the head is simply shorter, not an error.
    uint8_t head[kValidatedBytes] = {};
    bool sought = offset == 0 ||
#ifdef _WIN32
                  _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
                  fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
    if (sought) std::fread(head, 1, sizeof head, file);
    bool failed = !sought || std::ferror(file);
    int error_number = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path + ": " + DescribeErrno(error_number);
        return ProbeOutcome::kUnreadable;
    }
    if (!ValidateHeader(ByteSpan(head, sizeof head))) {
        error = path + ": not a KOVA archive";
        if (offset != 0) error += " at offset " + std::to_string(offset);
        return ProbeOutcome::kNotRecognized;
    }
    return ProbeOutcome::kRecognized;
}

bool OpenListedArchive(const ArchiveSource& source, IntegrityDepth depth, ListedArchive& archive,
                       std::string& error) {
    archive.path = source.path;
    archive.display = source.FromStandardInput() ? "standard input" : source.path;
    archive.offset = source.FromStandardInput() ? 0 : source.offset;
    archive.base_name = BaseNameFor(NamingPath(source));
    archive.printable_base_name = Printable(archive.base_name);
    if (source.FromStandardInput()) {
        if (!OpenStandardInput(archive, error)) return false;
    } else {
        switch (OpenPath(source.path, archive.offset, archive.reader)) {
        case ArchiveStatus::kOk:
            break;
        case ArchiveStatus::kCannotOpenFile:
            error = CannotOpen(source.path);
            return false;
        case ArchiveStatus::kNotArchive:
            error = IsDirectory(source.path) ? "cannot open " + source.path + ": it is a directory" : NotArchive(archive);
            return false;
        case ArchiveStatus::kNoMemory:
            error = archive.display + ": out of memory reading its index";
            return false;
        }
    }
    WalkArchive(archive.reader, depth, archive.report);
    return true;
}

bool ReadEntryContent(const ListedArchive& archive, uint32_t index, EntryContent& content, std::string& error) {
    content.data = nullptr;
    content.size = 0;
    StoredEntry stored;
    auto subject = [&] { return archive.display + ": entry " + std::to_string(index) + " (" + Printable(archive.NameOf(index)) + ")"; };
    if (ReadStoredEntry(archive.reader, index, stored) != ArchiveStatus::kOk) {
        error = subject() + ": out of memory for its stored bytes";
        return false;
    }
    size_t size = stored.described.unpacked_size;
    if (!content.buffer.Allocate(size)) {
        error = subject() + ": out of memory: cannot allocate the " + std::to_string(size) +
                " bytes the entry unpacks to";
        return false;
    }
    DecodeStoredEntry(stored, content.buffer.MutableView(), true);
    content.data = content.buffer.data;
    content.size = size;
    return true;
}

}  // namespace kova::cli
