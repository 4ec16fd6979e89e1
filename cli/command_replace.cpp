// kova replace: new content for some entries of an archive; every other
// entry's stored bytes are carried over exactly as they are.
#include <algorithm>
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

// Whether every entry the replacements leave is wholly in the file: one the
// file does not hold cannot be carried over exactly, so the replace is
// refused before anything is written.
bool AllCarriedHeld(const ListedArchive& listed, const std::vector<bool>& replaced, std::string& error) {
    const ArchiveReader& reader = listed.reader;
    for (uint32_t i = 0; i < reader.entry_count; ++i) {
        IndexEntry entry = reader.Entry(i);
        if (!replaced[i] && reader.BytesHeldOf(entry) < entry.stored_size) {
            error = listed.display + ": entry " + std::to_string(i) +
                    " lies past the end of the file, so it cannot be carried over as it is";
            return false;
        }
    }
    return true;
}

// One entry's stored bytes copied as the archive holds them, a block at a
// time, so that no entry is held whole.
bool CarryOver(const ListedArchive& listed, uint32_t i, std::vector<uint8_t>& block, ArchiveFileWriter& writer,
               std::string& error) {
    IndexEntry entry = listed.reader.Entry(i);
    for (uint64_t done = 0; done < entry.stored_size;) {
        size_t size = static_cast<size_t>(std::min<uint64_t>(block.size(), entry.stored_size - done));
        if (listed.reader.ReadBytes(uint64_t{entry.data_offset} + done, block.data(), size) != size) {
            error = "cannot read " + listed.display + ": entry " + std::to_string(i) + " could not be read whole";
            return false;
        }
        if (!writer.Append(block.data(), size, error)) return false;
        done += size;
    }
    return writer.EndEntry(error);
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
    ArchiveSource source;
    source.path = options.archive;
    if (!OpenListedArchive(source, IntegrityDepth::kIndexAndHeads, listed, error) ||
        !ResolveReplacements(listed, options.replacements, replacements, error)) {
        ReportError(error);
        return kExitFailure;
    }
    const uint32_t count = listed.reader.entry_count;
    std::vector<bool> replaced(count, false);
    std::vector<const Replacement*> replacement_of(count, nullptr);
    for (const Replacement& replacement : replacements) {
        if (replacement.index >= count) {
            ReportError(Printable(options.archive) + ": changed while it was read; nothing was written");
            return kExitFailure;
        }
        replaced[replacement.index] = true;
        replacement_of[replacement.index] = &replacement;
    }
    if (!AllCarriedHeld(listed, replaced, error)) {
        ReportError(error);
        return kExitFailure;
    }
    // Entry by entry into the new file: a carried entry is copied through a
    // block, a replaced one is read and packed, then written and let go.
    ArchiveFileWriter writer;
    std::vector<uint8_t> block(size_t{1} << 20), content, stored;
    bool written = writer.Begin(target, count, error);
    for (uint32_t i = 0; written && i < count; ++i) {
        const Replacement* replacement = replacement_of[i];
        written = replacement == nullptr
                      ? CarryOver(listed, i, block, writer, error)
                      : ReadWholeFile(replacement->file, content, error) &&
                            PackContent(replacement->file, content, PackMethod::kAuto, options.strength, stored,
                                        error) &&
                            writer.AddEntry(stored, error);
    }
    if (!written || !writer.Finish(error)) {
        ReportError(error);
        return kExitFailure;
    }
    if (!options.quiet) {
        std::printf("replaced %s of %zu in %s\n", CountOf(replacements.size(), "entry", "entries").c_str(),
                    static_cast<size_t>(count), Printable(output).c_str());
    }
    return kExitSuccess;
}

}  // namespace kova::cli
