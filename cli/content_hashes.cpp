#include "cli/content_hashes.h"

#include <cerrno>

#include "cli/damage_report.h"
#include "cli/messages.h"
#include "cli/sha256.h"

#include <algorithm>

#include "archive/entry_content.h"
#include "archive/window_decoder.h"

namespace kova::cli {

namespace {

void FeedDigest(void* context, ByteSpan piece) { static_cast<Sha256*>(context)->Update(piece.data(), piece.size()); }

// The SHA-256 of the entry's content exactly as extraction gives it (zeros
// where the stream leaves bytes unwritten), taken as it is decoded through a
// bounded window: an entry that declares gigabytes is never held whole.
std::string HashContent(const ListedArchive& archive, uint32_t index, bool& failed) {
    StoredEntry stored;
    HeapBuffer window;
    WindowedResult decoded;
    Sha256 digest;
    bool had = ReadStoredEntry(archive.reader, index, stored) == ArchiveStatus::kOk;
    uint64_t produced = 0;
    if (had && !stored.described.coded) {
        produced = std::min<uint64_t>(stored.stored.size(), stored.described.unpacked_size);
        digest.Update(stored.stored.data(), static_cast<size_t>(produced));
    } else if (had) {
        had = DecodeInWindow(stored.stored, stored.entry.stored_size, stored.described.unpacked_size, window,
                             &FeedDigest, &digest, decoded);
        produced = decoded.written;
    }
    if (!had) {
        ReportError(archive.display + ": entry " + std::to_string(index) + " (" + archive.PrintableNameOf(index) +
                    "): out of memory to hash it");
        failed = true;
        return {};
    }
    static const uint8_t kZeros[1 << 16] = {};
    for (uint64_t left = stored.described.unpacked_size - produced; left > 0;) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(left, sizeof kZeros));
        digest.Update(kZeros, piece);
        left -= piece;
    }
    return digest.FinishHex();
}

}  // namespace

std::string ContentHasher::Of(uint32_t index, bool& failed) {
    if (HasImpossibleSize(archive.report, index)) return {};
    uint32_t owner = archive.report.OwnerOf(index);
    // Only where some range is shared is any hash worth remembering.
    bool shared = !archive.report.owner.empty();
    if (shared) {
        auto known = of_owner.find(owner);
        if (known != of_owner.end()) return known->second;
    }
    std::string hex = HashContent(archive, owner, failed);
    if (hex.empty()) return hex;
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
    // Read block by block through positioned reads, never mapped: a file
    // that shrinks under a mapping ends the process.
    const ArchiveReader& reader = archive.reader;
    const uint64_t size = reader.archive_bytes;
    HeapBuffer block;
    if (!block.Allocate(size_t{1} << 20)) {
        error = archive.display + ": out of memory to hash it";
        return false;
    }
    Sha256 digest;
    for (uint64_t at = 0; at < size;) {
        size_t wanted = static_cast<size_t>(std::min<uint64_t>(block.size, size - at));
        size_t got = ReadAt(reader.file.handle, reader.archive_offset + static_cast<int64_t>(at), block.data, wanted);
        if (got != wanted) {
            error = "cannot read " + archive.display + " to hash it: it holds " + std::to_string(at + got) +
                    " of the " + std::to_string(size) + " bytes it held when opened";
            return false;
        }
        digest.Update(block.data, got);
        at += got;
    }
    hex = digest.FinishHex();
    return true;
}

}  // namespace kova::cli
