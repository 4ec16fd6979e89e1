#include "cli/content_hashes.h"

#include <cerrno>

#include "cli/damage_report.h"
#include "cli/messages.h"
#include "cli/sha256.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kova::cli {

std::string ContentHasher::Of(uint32_t index, bool& failed) {
    if (HasImpossibleSize(archive.report, index)) return {};
    uint32_t owner = archive.report.OwnerOf(index);
    // Only where some range is shared is any hash worth remembering.
    bool shared = !archive.report.owner.empty();
    if (shared) {
        auto known = of_owner.find(owner);
        if (known != of_owner.end()) return known->second;
    }
    EntryContent content;
    std::string error;
    if (!ReadEntryContent(archive, owner, content, error)) {
        ReportError(error);
        failed = true;
        return {};
    }
    std::string hex = Sha256Hex(content.data, content.size);
    if (shared) {
        if (has_sharers.empty()) {
            has_sharers.resize(archive.Count(), false);
            for (const SharedRange& range : archive.report.shared) has_sharers[range.entries.front()] = true;
        }
        if (has_sharers[owner]) of_owner.emplace(owner, hex);
    }
    return hex;
}

bool HashArchive(const ListedArchive& archive, std::string& hex, std::string& error) {
    const ArchiveReader& reader = archive.reader;
    uint64_t size = reader.archive_bytes;
    if (size == 0) {
        hex = Sha256Hex(nullptr, 0);
        return true;
    }
    // The file is mapped rather than read: the hash takes the bytes in one
    // piece, and the mapping costs no memory of the process's own.
    uint64_t start = static_cast<uint64_t>(reader.archive_offset);
#ifdef _WIN32
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    uint64_t aligned = start - start % system.dwAllocationGranularity;
    uint64_t length = size + (start - aligned);
    if (length > SIZE_MAX) {
        error = archive.display + ": too large to hash in this build";
        return false;
    }
    HANDLE mapping = CreateFileMappingW(reader.file.handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
        error = archive.display + ": cannot map it to hash it";
        return false;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(aligned >> 32),
                               static_cast<DWORD>(aligned & 0xFFFFFFFF), static_cast<SIZE_T>(length));
    if (view == nullptr) {
        CloseHandle(mapping);
        error = archive.display + ": cannot map it to hash it";
        return false;
    }
    hex = Sha256Hex(static_cast<const uint8_t*>(view) + (start - aligned), static_cast<size_t>(size));
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return true;
#else
    uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t aligned = start - start % page;
    size_t length = static_cast<size_t>(size + (start - aligned));
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(reader.file.handle));
    void* view = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(aligned));
    if (view == MAP_FAILED) {
        error = archive.display + ": cannot map it to hash it: " + DescribeErrno(errno);
        return false;
    }
    madvise(view, length, MADV_SEQUENTIAL);
    hex = Sha256Hex(static_cast<const uint8_t*>(view) + (start - aligned), static_cast<size_t>(size));
    munmap(view, length);
    return true;
#endif
}

}  // namespace kova::cli
