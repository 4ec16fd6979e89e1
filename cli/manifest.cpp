#include "cli/manifest.h"

#include <cstdio>
#include <fstream>

#include "cli/messages.h"
#include "cli/text.h"

namespace kova::cli {

void WriteManifestFields(const ListedArchive& archive, int level, bool& failed) {
    std::string hex, error;
    if (!HashArchive(archive, hex, error)) {
        ReportError(error);
        failed = true;
    }
    std::printf("%*s\"size\": %llu,\n%*s\"sha256\": %s,\n", 2 * level, "",
                static_cast<unsigned long long>(archive.reader.archive_bytes), 2 * level, "",
                hex.empty() ? "null" : JsonQuoted(hex).c_str());
}

namespace {

bool ReadRecord(const Json& document, ManifestArchive& record) {
    if (!document.is_object() || !document.contains("archive") || !document["archive"].is_string() ||
        !document.contains("entries") || !document["entries"].is_array()) {
        return false;
    }
    record.path = document["archive"].get<std::string>();
    if (document.contains("size") && document["size"].is_number_unsigned()) record.size = document["size"].get<uint64_t>();
    if (document.contains("sha256") && document["sha256"].is_string()) record.sha256 = document["sha256"].get<std::string>();
    for (const Json& entry : document["entries"]) {
        if (!entry.is_object() || !entry.contains("index") || !entry["index"].is_number_unsigned()) return false;
        ManifestEntry kept;
        kept.index = entry["index"].get<uint32_t>();
        if (kept.index != record.entries.size()) return false;  // listed in index order, none left out
        if (entry.contains("name") && entry["name"].is_string()) kept.name = entry["name"].get<std::string>();
        if (entry.contains("sha256") && entry["sha256"].is_string()) kept.sha256 = entry["sha256"].get<std::string>();
        record.entries.push_back(std::move(kept));
    }
    return true;
}

}  // namespace

bool ReadManifest(const std::string& path, Manifest& manifest, std::string& error) {
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        error = "cannot open the manifest " + path + ": " + DescribeErrno(errno);
        return false;
    }
    std::string text;
    char block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read the manifest " + path;
        return false;
    }
    Json document = Json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        error = path + ": not a manifest (not JSON; 'kova list --hash --json ARCHIVE...' writes one)";
        return false;
    }
    std::vector<const Json*> documents;
    if (document.is_array()) {
        for (const Json& each : document) documents.push_back(&each);
    } else {
        documents.push_back(&document);
    }
    for (const Json* each : documents) {
        ManifestArchive record;
        if (!ReadRecord(*each, record) || record.sha256.empty()) {
            error = path + ": not a manifest (each archive needs its sha256 and its entries in index order, as "
                           "'kova list --hash --json' writes them)";
            return false;
        }
        manifest.archives.push_back(std::move(record));
    }
    return true;
}

ManifestArchive* MatchArchive(Manifest& manifest, const ListedArchive& archive, std::string& error) {
    std::string shown = Printable(archive.display);
    for (ManifestArchive& record : manifest.archives) {
        if (!record.matched && record.path == shown) return &record;
    }
    std::string hex;
    if (!HashArchive(archive, hex, error)) return nullptr;
    for (ManifestArchive& record : manifest.archives) {
        if (!record.matched && record.sha256 == hex) return &record;
    }
    return nullptr;
}

void CompareWithManifest(const ManifestArchive& record, ContentHasher& hasher,
                         std::vector<ManifestDifference>& differences, bool& failed) {
    const ListedArchive& archive = hasher.archive;
    uint64_t count = archive.Count();
    for (uint32_t index = 0; index < count; ++index) {
        if (index >= record.entries.size()) {
            differences.push_back({"entry_appeared", index, archive.NameOf(index), "", hasher.Of(index, failed)});
            continue;
        }
        std::string now = hasher.Of(index, failed);
        const std::string& was = record.entries[index].sha256;
        if (now != was) differences.push_back({"content_changed", index, archive.NameOf(index), was, now});
    }
    for (uint64_t index = count; index < record.entries.size(); ++index) {
        const ManifestEntry& gone = record.entries[index];
        differences.push_back({"entry_vanished", gone.index, gone.name, gone.sha256, ""});
    }
}

}  // namespace kova::cli
