// An archive file mapped into memory once, so that extracting many entries
// hands the plug-in images (memory input) instead of a file name that it
// would open, validate and read again for every entry.
//
// Memory input is used only where it gives exactly what file input gives.
// A small entry is handed over as an image of its own: its index record and
// the bytes the file holds of it. A larger one is read from the archive's
// whole image where the index sits at byte 24 (where an image's index is
// read, whatever the header says), the entry's number is within the
// plug-in's search back for the image's start, and no other magic lies
// between that start and the entry's number, which would make the search
// stop early. Elsewhere, and where the file cannot be mapped, the caller
// uses file input.
//
// A file that shrinks while it is mapped makes reading its lost pages fault;
// the fault is caught, the mapping dropped, and the entry read again by file
// name, which sees the file as it now is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/plugin_loader.h"

namespace kova::cli {

struct MappedArchive;

// The whole file mapped, or nullptr where it cannot be (or on systems where
// the command does not map files).
std::shared_ptr<MappedArchive> MapArchive(const std::string& path);

enum class MappedOutcome {
    kUnsuitable,  // memory input might answer otherwise: use file input
    kFaulted,     // the file shrank under the mapping: use file input
    kCalled,      // GetFile ran; `result` and `block` are its
};

// GetArchiveInfo on the mapped image, where memory input lists exactly as
// file input does: the index at byte 24, where an image's is read.
MappedOutcome ListMapped(const PluginApi& api, MappedArchive& mapped, int& result, HLOCAL& list);

// GetFile on entry `index` of the mapped image, with memory output.
MappedOutcome GetFileMapped(const PluginApi& api, MappedArchive& mapped, uint64_t index, int& result,
                            HLOCAL& block);

}  // namespace kova::cli
