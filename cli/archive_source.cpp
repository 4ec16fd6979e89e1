#include "cli/archive_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "archive/base_name.h"
#include "archive/entry_content.h"
#include "archive/spooled_input.h"
#include "cli/input_file.h"
#include "cli/messages.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "format/layout.h"


namespace kova::cli {
namespace {

std::string NotArchive(const ListedArchive& archive) {
    std::string error = archive.display + ": not a KOVA archive";
    if (archive.offset != 0) error += " at offset " + std::to_string(archive.offset);
    return error;
}

// Reads and drops `count` bytes of a stream: a stream's archive starts
// --offset bytes in, like a file's.
bool SkipStreamBytes(HANDLE stream, uint64_t count) {
    uint8_t chunk[1 << 16];
    while (count > 0) {
        size_t got = 0;
        size_t want = count < sizeof chunk ? static_cast<size_t>(count) : sizeof chunk;
        if (!ReadHere(stream, chunk, want, &got)) return false;
        if (got == 0) return true;  // shorter than the offset: an empty input
        count -= got;
    }
    return true;
}

// A stream, copied once into a temporary file and read from there.
bool OpenStream(InputFile& input, ListedArchive& archive, std::string& error) {
    const std::string& what = archive.display;
    FileHandle spooled;
    uint64_t bytes = 0;
    errno = 0;
    if (!SkipStreamBytes(input.file.handle, archive.offset)) {
        error = "cannot read " + what + ": " + DescribeErrno(errno);
        return false;
    }
    switch (SpoolArchive(input.file.handle, spooled, bytes)) {
    case SpoolStatus::kOk:
        break;
    case SpoolStatus::kNotArchive:
        error = NotArchive(archive);
        return false;
    case SpoolStatus::kReadFailed:
        error = "cannot read " + what + ": " + DescribeErrno(errno);
        return false;
    case SpoolStatus::kNoTemporaryFile:
        error = what + ": no temporary file can be made to read it from (TMPDIR names where): " +
                DescribeErrno(errno);
        return false;
    case SpoolStatus::kWriteFailed:
        error = what + ": cannot write the temporary copy it is read from: " + DescribeErrno(errno);
        return false;
    }
    ArchiveStatus status = OpenArchiveHandle(spooled, 0, archive.reader);
    if (status == ArchiveStatus::kOk) return true;
    error = status == ArchiveStatus::kNoMemory ? what + ": out of memory reading its index" : NotArchive(archive);
    return false;
}

bool OpenInput(InputFile& input, ListedArchive& archive, std::string& error) {
    archive.streamed = input.kind == InputKind::kStream;
    if (archive.streamed) return OpenStream(input, archive, error);
    switch (OpenArchiveHandle(input.file, static_cast<int64_t>(archive.offset), archive.reader)) {
    case ArchiveStatus::kOk:
        return true;
    case ArchiveStatus::kCannotOpenFile:
        error = "cannot read " + archive.display;
        return false;
    case ArchiveStatus::kNotArchive:
        error = NotArchive(archive);
        return false;
    case ArchiveStatus::kNoMemory:
        error = archive.display + ": out of memory reading its index";
        return false;
    }
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
    InputFile input;
    if (!OpenInputFile(path, input, error)) return ProbeOutcome::kUnreadable;
    // A file shorter than the head is simply shorter, not an error.
    uint8_t head[kValidatedBytes] = {};
    bool read = true;
    if (input.kind == InputKind::kFile) {
        ReadAt(input.file.handle, static_cast<int64_t>(offset), head, sizeof head);
    } else {
        size_t held = 0, got = 0;
        read = SkipStreamBytes(input.file.handle, offset);
        while (read && held < sizeof head && (read = ReadHere(input.file.handle, head + held, sizeof head - held, &got)) && got != 0) {
            held += got;
        }
    }
    if (!read) {
        error = "cannot read " + Printable(path) + ": " + DescribeErrno(errno);
        return ProbeOutcome::kUnreadable;
    }
    if (!ValidateHeader(ByteSpan(head, sizeof head))) {
        error = Printable(path) + ": not a KOVA archive";
        if (offset != 0) error += " at offset " + std::to_string(offset);
        return ProbeOutcome::kNotRecognized;
    }
    return ProbeOutcome::kRecognized;
}

bool OpenListedArchive(const ArchiveSource& source, IntegrityDepth depth, ListedArchive& archive,
                       std::string& error) {
    archive.path = source.path;
    archive.display = source.FromStandardInput() ? "standard input" : Printable(source.path);
    archive.offset = source.offset;
    archive.base_name = BaseNameFor(NamingPath(source));
    archive.printable_base_name = Printable(archive.base_name);
    SetActivity("reading " + archive.display);
    InputFile input;
    if (source.FromStandardInput()) {
        UseBinaryStandardInput();
        if (!OpenStandardInputFile(input, error)) return false;
    } else if (!OpenInputFile(source.path, input, error)) {
        return false;
    }
    if (!OpenInput(input, archive, error)) return false;
    // The command goes through entries in the order of their bytes.
    archive.reader.read_ahead = size_t{1} << 20;
    WalkArchive(archive.reader, depth, archive.report);
    return true;
}

bool ReadEntryContent(const ListedArchive& archive, uint32_t index, EntryContent& content, std::string& error) {
    content.data = nullptr;
    content.size = 0;
    StoredEntry& stored = content.stored;
    auto subject = [&] { return archive.display + ": entry " + std::to_string(index) + " (" + Printable(archive.NameOf(index)) + ")"; };
    if (ReadStoredEntry(archive.reader, index, stored) != ArchiveStatus::kOk) {
        error = subject() + ": out of memory for its stored bytes";
        return false;
    }
    size_t size = stored.described.unpacked_size;
    // Content kept as it is, all there: its stored bytes are the content,
    // handed on where they lie instead of copied.
    if (!stored.described.coded && stored.stored.size() == size) {
        content.data = stored.stored.data();
        content.size = size;
        return true;
    }
    // Thousands of small entries decode into one buffer, zeroed only where
    // a stream leaves bytes unwritten; a large entry has one of its own.
    bool reused = size <= content.buffer.size && content.buffer.size <= kSharedContentBuffer;
    if (!reused && !content.buffer.Allocate(size)) {
        error = subject() + ": out of memory: cannot allocate the " + std::to_string(size) +
                " bytes the entry unpacks to";
        return false;
    }
    DecodeStoredEntry(stored, MutableByteSpan(content.buffer.data, size), !reused);
    content.data = content.buffer.data;
    content.size = size;
    return true;
}

}  // namespace kova::cli
