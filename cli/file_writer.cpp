// The parts of the writer that are the same on every system: which names
// may be written, and writing a whole buffer as one file.
#include "cli/file_writer.h"

#include "cli/messages.h"

namespace kova::cli {

bool IsPlainComponent(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    // Asked of every entry written: a plain loop, not a search per byte.
    for (char c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
    }
    return true;
}

bool CheckSubdirectoryName(const std::string& display, const std::string& name, std::string& error) {
    if (IsPlainComponent(name)) return true;
    error = "cannot extract into " + Printable(display) + ": '" + Printable(name) + "' is not a plain directory name";
    return false;
}

bool Replaceable(const OutputDirectory& directory, const std::string& name) {
    return WhatHolds(directory, name) != NameHolder::kOther;
}

bool WriteFileIn(const OutputDirectory& directory, const std::string& name, const uint8_t* data, size_t size,
                 bool replace, std::string& error) {
    NewFile file;
    return file.Begin(directory, name, error) && file.Append(data, size, error) &&
           file.Commit(replace, KeptAttributes{}, error);
}

}  // namespace kova::cli
