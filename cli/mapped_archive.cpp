#include "cli/mapped_archive.h"

#include <cstring>
#include <vector>

#include "archive/file_io.h"
#include "format/bytes.h"
#include "format/layout.h"
#include "plugin/interface.h"

#ifndef _WIN32
#include <csetjmp>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kova::cli {
namespace {

// How far back from src GetFile's memory input looks for the image's start,
// and so how many entries it can reach.
constexpr uint64_t kImageSearchReach = uint64_t{1} << 20;
constexpr unsigned kMemoryToMemory = FlagOf(kInputMemory, kOutputMemory);

}  // namespace

#ifdef _WIN32

struct MappedArchive {};

std::shared_ptr<MappedArchive> MapArchive(const std::string&) { return nullptr; }

MappedOutcome ListMapped(const PluginApi&, MappedArchive&, int&, HLOCAL&) { return MappedOutcome::kUnsuitable; }

MappedOutcome GetFileMapped(const PluginApi&, MappedArchive&, uint64_t, int&, HLOCAL&) {
    return MappedOutcome::kUnsuitable;
}

#else

struct MappedArchive {
    const uint8_t* image = nullptr;
    size_t size = 0;
    // Entries below this number are reached by memory input exactly as by
    // file input; 0 when none are.
    uint64_t reachable = 0;
    // The index lies at byte 24: memory input lists as file input does.
    bool listable = false;
    // The image of one entry of its own, made again for each (OwnImageOf).
    std::vector<uint8_t> own_image;

    ~MappedArchive() { Unmap(); }
    void Unmap() {
        if (image != nullptr) munmap(const_cast<uint8_t*>(image), size);
        image = nullptr;
        reachable = 0;
        listable = false;
    }
};

namespace {

// The entry's number is how far past the image's start src points. The
// plug-in takes the nearest magic at or before src for the start, so
// entries beyond the first magic after byte 0 would be read from the wrong
// place, and those beyond the search's reach not at all.
uint64_t ReachableEntries(const uint8_t* image, size_t size) {
    if (size < kValidatedBytes) return 0;
    if (ReadHeader(ByteSpan(image, size)).index_offset != kImageIndexStart) return 0;
    uint64_t limit = std::min<uint64_t>(kImageSearchReach, size);
    // Candidates are found by their first byte, a wide scan at a time.
    const uint8_t* end = image + limit;
    for (const uint8_t* at = image + 1; at < end; ++at) {
        at = static_cast<const uint8_t*>(std::memchr(at, kMagic[0], static_cast<size_t>(end - at)));
        if (at == nullptr) break;
        size_t offset = static_cast<size_t>(at - image);
        if (offset + sizeof kMagic <= size && std::memcmp(at, kMagic, sizeof kMagic) == 0) return offset;
    }
    return limit;
}

// One mapped read at a time; the fault handler returns to it.
sigjmp_buf* fault_return = nullptr;

void OnFault(int signal) {
    if (fault_return != nullptr) siglongjmp(*fault_return, 1);
    // A fault outside a mapped read is a real one.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void CatchMappedFaults() {
    static bool installed = false;
    if (installed) return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnFault;
    // Not blocked while handled: the jump back then leaves the signal mask
    // as it was, and the jump points need not save it (a system call per
    // entry extracted).
    action.sa_flags = SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
    installed = true;
}

// Where entries lie close together, listing their heads alone touches
// nearly every page of the file, and extracting them all touches the rest:
// the page tables are then filled in one call instead of a fault every few
// pages, which costs more than the whole read of small entries. Files of
// larger entries are left to fault in as they are read, so that one entry
// taken from a large archive reads no more of it than needed.
void PopulateWhereDense(const MappedArchive& mapped, uint32_t entry_count) {
#ifdef MADV_POPULATE_READ
    constexpr uint64_t kDenseEntryBytes = 64 << 10;
    if (entry_count == 0 || mapped.size / entry_count > kDenseEntryBytes) return;
    // Older systems refuse the advice; the pages then fault in as before.
    madvise(const_cast<uint8_t*>(mapped.image), mapped.size, MADV_POPULATE_READ);
#else
    (void)mapped;
    (void)entry_count;
#endif
}

// Entries whose stored bytes are at most this many get an image of their
// own; larger ones, whose decoding outweighs the plug-in's search, are read
// from the mapped archive in place, without a copy.
constexpr uint64_t kOwnImageLimit = uint64_t{1} << 20;

// An image of entry `index` alone: a header and one index record for it,
// then the bytes the file holds of it. Handed this, the plug-in finds the
// image's start at src at once, where the archive's own image would make
// it look back over every index record before the entry's: extracting all
// the entries of a large archive would cost the square of their number.
// The entry decodes exactly as read from the file: the same record, the
// same bytes held, and those missing past the file's end read as zero in
// both. False where it is not made. May fault on a file that shrank.
bool OwnImageOf(MappedArchive& mapped, uint64_t index, const char*& src, LONG_PTR& length) {
    ArchiveHeader header = ReadHeader(ByteSpan(mapped.image, mapped.size));
    if (index >= header.entry_count) return false;
    uint64_t record = uint64_t{header.index_offset} + index * kIndexEntrySize;
    if (record + kIndexEntrySize > mapped.size) return false;
    IndexEntry entry = ReadIndexEntry(ByteSpan(mapped.image + record, kIndexEntrySize), 0);
    uint64_t held = BytesHeld(mapped.size, entry.data_offset, entry.stored_size);
    if (held > kOwnImageLimit) return false;
    // The header agrees with itself in wrapping arithmetic, as validation
    // wants, whatever the stored size: its data is the whole entry, of
    // which the image holds what the file does.
    constexpr uint32_t kIndexEnd = static_cast<uint32_t>(kHeaderSize + kIndexEntrySize);
    std::vector<uint8_t>& own = mapped.own_image;
    own.resize(kIndexEnd + held);
    std::memcpy(own.data(), kMagic, sizeof kMagic);
    WriteLe32(own, 4, entry.stored_size + kIndexEnd);
    WriteLe32(own, 8, kHeaderSize);
    WriteLe32(own, 12, entry.stored_size);
    WriteLe32(own, 16, 1);
    WriteLe32(own, 20, 0);
    WriteLe32(own, 24, entry.stored_size);
    WriteLe32(own, 28, kIndexEnd);
    if (held > 0) std::memcpy(own.data() + kIndexEnd, mapped.image + entry.data_offset, static_cast<size_t>(held));
    src = reinterpret_cast<const char*>(own.data());
    length = static_cast<LONG_PTR>(own.size());
    return true;
}

// Runs `read`, which reads the mapped file, with a fault taken for the file
// having shrunk: the mapping is then dropped and the outcome is kFaulted.
// Whatever `read` had allocated when the fault came (the plug-in's blocks
// included) is lost with it.
template <typename Read>
MappedOutcome ReadGuarded(MappedArchive& mapped, Read read) {
    sigjmp_buf jump;
    fault_return = &jump;
    if (sigsetjmp(jump, 0) != 0) {
        fault_return = nullptr;
        mapped.Unmap();
        return MappedOutcome::kFaulted;
    }
    MappedOutcome outcome = read();
    fault_return = nullptr;
    return outcome;
}

}  // namespace

std::shared_ptr<MappedArchive> MapArchive(const std::string& path) {
    int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return nullptr;
    struct stat status;
    void* image = MAP_FAILED;
    if (fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= static_cast<off_t>(kValidatedBytes) &&
        static_cast<uint64_t>(status.st_size) <= static_cast<uint64_t>(INTPTR_MAX)) {
        image = mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ, MAP_PRIVATE, file, 0);
    }
    close(file);
    if (image == MAP_FAILED) return nullptr;
    auto mapped = std::make_shared<MappedArchive>();
    mapped->image = static_cast<const uint8_t*>(image);
    mapped->size = static_cast<size_t>(status.st_size);
    CatchMappedFaults();
    MappedOutcome probed = ReadGuarded(*mapped, [&mapped] {
        mapped->reachable = ReachableEntries(mapped->image, mapped->size);
        ArchiveHeader header = ReadHeader(ByteSpan(mapped->image, mapped->size));
        mapped->listable = header.index_offset == kImageIndexStart;
        PopulateWhereDense(*mapped, header.entry_count);
        return MappedOutcome::kCalled;
    });
    return probed == MappedOutcome::kCalled ? mapped : nullptr;
}

MappedOutcome ListMapped(const PluginApi& api, MappedArchive& mapped, int& result, HLOCAL& list) {
    if (mapped.image == nullptr || !mapped.listable) return MappedOutcome::kUnsuitable;
    return ReadGuarded(mapped, [&] {
        HLOCAL handed = nullptr;
        result = api.get_archive_info(reinterpret_cast<const char*>(mapped.image), static_cast<LONG_PTR>(mapped.size),
                                      kInputMemory, &handed);
        list = handed;
        return MappedOutcome::kCalled;
    });
}

MappedOutcome GetFileMapped(const PluginApi& api, MappedArchive& mapped, uint64_t index, int& result,
                            HLOCAL& block) {
    if (mapped.image == nullptr) return MappedOutcome::kUnsuitable;
    return ReadGuarded(mapped, [&] {
        const char* src = nullptr;
        LONG_PTR length = 0;
        if (!OwnImageOf(mapped, index, src, length)) {
            if (index >= mapped.reachable) return MappedOutcome::kUnsuitable;
            src = reinterpret_cast<const char*>(mapped.image) + index;
            length = static_cast<LONG_PTR>(mapped.size);
        }
        HLOCAL handed = nullptr;
        result = api.get_file(src, length, reinterpret_cast<char*>(&handed), kMemoryToMemory, nullptr, 0);
        block = handed;
        return MappedOutcome::kCalled;
    });
}

#endif

}  // namespace kova::cli
