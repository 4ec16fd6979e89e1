// Turning the words of a command line into archives to read and entries to
// select, for commands that take several archives at once.
#pragma once

#include <string>
#include <vector>

#include "cli/archive_source.h"
#include "cli/commands.h"

namespace kova::cli {

// The source a word names: "-" is standard input, anything else a file,
// read from --offset.
ArchiveSource SourceFor(const std::string& word, const SourceOptions& options);

// The first word is an archive; each later one is an archive when it is
// "-" or names an existing file that is one of our archives, and an entry
// otherwise. So `extract A.DAT 3` still takes 3 for an entry, and
// `extract *.DAT` takes every file for an archive.
void SplitArchivesAndEntries(const std::vector<std::string>& words, uint64_t offset,
                             std::vector<std::string>& archives, std::vector<std::string>& entries);

// False, with the reason, when standard input is named more than once.
bool ReadsStandardInputOnce(const std::vector<std::string>& archives, std::string& error);

// False, with the reason, for a word of `replace` that is not ENTRY=FILE.
bool IsReplacementPair(const std::string& pair, std::string& error);

// The directory an archive extracts into when several are extracted at
// once: its file name without the last extension ("game.v1" for
// game.v1.DAT), or the --name of standard input.
std::string SubdirectoryFor(const std::string& word, const SourceOptions& options);

}  // namespace kova::cli
