// kova replace: new content for some entries of an archive; every other
// entry's stored bytes are carried over exactly as they are.
#include <cstdio>

#include "archive/archive_reader.h"
#include "cli/archive_lock.h"
#include "cli/archive_source.h"
#include "cli/archive_output.h"
#include "cli/commands.h"
#include "cli/entry_packing.h"
#include "cli/entry_selection.h"
#include "cli/messages.h"
#include "cli/pack_inputs.h"

namespace kova::cli {
namespace {

struct Replacement {
    uint64_t index = 0;
    std::string file;
};

// ENTRY=FILE pairs, ENTRY read as `kova list` shows it (index or name).
bool ResolveReplacements(const ListedArchive& listed, const std::vector<std::string>& pairs,
                         std::vector<Replacement>& replacements, std::string& error) {
    for (const std::string& pair : pairs) {
        size_t equals = pair.find('=');
        std::vector<uint32_t> chosen;
        if (!SelectEntries(listed, {pair.substr(0, equals)}, chosen, error)) return false;
        for (const Replacement& earlier : replacements) {
            if (earlier.index == chosen.front()) {
                error = "entry " + std::to_string(earlier.index) + " is given twice ('" + pair + "')";
                return false;
            }
        }
        replacements.push_back({chosen.front(), pair.substr(equals + 1)});
    }
    return true;
}

// Every entry's stored bytes as the archive holds them. An entry the file
// does not wholly hold cannot be carried over exactly, so it is refused.
bool ReadAllStored(const ListedArchive& listed, std::vector<std::vector<uint8_t>>& entries, std::string& error) {
    const ArchiveReader& reader = listed.reader;
    const std::string& path = listed.display;
    entries.resize(reader.entry_count);
    for (uint32_t i = 0; i < reader.entry_count; ++i) {
        IndexEntry entry = reader.Entry(i);
        if (reader.BytesHeldOf(entry) < entry.stored_size) {
            error = path + ": entry " + std::to_string(i) +
                    " lies past the end of the file, so it cannot be carried over as it is";
            return false;
        }
        entries[i].resize(entry.stored_size);
        if (reader.ReadBytes(entry.data_offset, entries[i].data(), entry.stored_size) != entry.stored_size) {
            error = "cannot read " + path + ": entry " + std::to_string(i) + " could not be read whole";
            return false;
        }
    }
    return true;
}

}  // namespace

int RunReplace(const ReplaceOptions& options) {
    const std::string& output = options.output.empty() ? options.archive : options.output;
    ArchiveTarget target, source_file;
    ArchiveLock lock;
    std::string error;
    // The archive is locked before it is read and stays locked until the
    // new one has its name, so that a second replace reads this one's result.
    if (!ResolveArchiveTarget(output, options.force, target, error) ||
        !ResolveArchiveTarget(options.archive, true, source_file, error) ||
        !LockArchive(source_file.directory + "/" + source_file.name, source_file.display, !options.no_wait, lock,
                     error)) {
        ReportError(error);
        return kExitFailure;
    }
    ListedArchive listed;
    std::vector<Replacement> replacements;
    std::vector<std::vector<uint8_t>> entries;
    ArchiveSource source;
    source.path = options.archive;
    if (!OpenListedArchive(source, IntegrityDepth::kIndexAndHeads, listed, error) ||
        !ResolveReplacements(listed, options.replacements, replacements, error) ||
        !ReadAllStored(listed, entries, error)) {
        ReportError(error);
        return kExitFailure;
    }
    for (const Replacement& replacement : replacements) {
        std::vector<uint8_t> content;
        if (replacement.index >= entries.size()) {
            ReportError(Printable(options.archive) + ": changed while it was read; nothing was written");
            return kExitFailure;
        }
        if (!ReadWholeFile(replacement.file, content, error) ||
            !PackContent(replacement.file, content, PackMethod::kAuto, options.strength, entries[replacement.index],
                         error)) {
            ReportError(error);
            return kExitFailure;
        }
    }
    if (!WriteArchiveFile(target, entries, error)) {
        ReportError(error);
        return kExitFailure;
    }
    if (!options.quiet) {
        std::printf("replaced %s of %zu in %s\n", CountOf(replacements.size(), "entry", "entries").c_str(),
                    entries.size(), Printable(output).c_str());
    }
    return kExitSuccess;
}

}  // namespace kova::cli
