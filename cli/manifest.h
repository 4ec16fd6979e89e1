// Manifests: a record of every archive's and every entry's SHA-256, taken
// once (`kova list --hash --json` writes one) and held against the archives
// later (`kova check --manifest`). The format carries no checksums, so this
// is how a flipped byte inside a literal run or a stored entry is caught.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/archive_source.h"
#include "cli/content_hashes.h"
#include "cli/json_stream.h"

namespace kova::cli {

// The archive's "size" and "sha256" lines of a listing, `level` levels deep.
void WriteManifestFields(const ListedArchive& archive, int level, bool& failed);

struct ManifestEntry {
    uint32_t index = 0;
    std::string name;
    std::string sha256;  // empty: none was taken
};

struct ManifestArchive {
    std::string path;  // as it was given
    uint64_t size = 0;
    std::string sha256;
    std::vector<ManifestEntry> entries;  // by index
    bool matched = false;
};

struct Manifest {
    std::vector<ManifestArchive> archives;
};

// Reads a manifest: one listing document or an array of them, each with its
// archive's sha256 and every entry's. False with the reason in `error`.
bool ReadManifest(const std::string& path, Manifest& manifest, std::string& error);

// The manifest's record of `archive`: by the path as given, else (the archive
// moved) by its SHA-256. Null when it has none; `error` tells when the
// archive could not even be hashed.
ManifestArchive* MatchArchive(Manifest& manifest, const ListedArchive& archive, std::string& error);

// What differs between an archive and its record.
struct ManifestDifference {
    const char* kind;  // content_changed, entry_appeared, entry_vanished
    uint32_t index;
    std::string name;    // as the archive names it now, or as the manifest did
    std::string was;     // the manifest's sha256
    std::string now;     // the archive's
};
void CompareWithManifest(const ManifestArchive& record, ContentHasher& hasher,
                         std::vector<ManifestDifference>& differences, bool& failed);

}  // namespace kova::cli
