// Writing files so that a file under its name is either complete or not
// there at all, and only where the command was told to write.
//
// Every file and subdirectory is made relative to a directory held open,
// never by joining strings and opening the result: a name is one plain
// component, and a symbolic link met below the directory the user named is
// not followed (on Windows: a reparse point is refused). Extraction and the
// archive writer of pack and replace both write through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova::cli {

// A directory held open for writing into.
struct OutputDirectory {
    OutputDirectory() = default;
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;
    ~OutputDirectory();

    std::string display;  // its path as messages name it (UTF-8)
#ifdef _WIN32
    std::wstring path;  // the path files are made under
#else
    int descriptor = -1;
#endif
};

// True for a name that can only name a file directly inside a directory:
// not empty, not "." or "..", no '/', '\\', ':' or NUL.
bool IsPlainComponent(const std::string& name);

// True when `name` may be a directory made inside another; otherwise false,
// with the message refusing it as `display` in `error`.
bool CheckSubdirectoryName(const std::string& display, const std::string& name, std::string& error);

// Opens `path` as given (a link there is the user's choice), creating it
// and its parents when `create` and it is missing. False with a complete
// message in `error`.
bool OpenOutputDirectory(const std::string& path, bool create, OutputDirectory& directory, std::string& error);

// Opens, creating it when missing, the directory `name` inside `parent`.
// `name` must be a plain component, and a link of that name is refused,
// not followed.
bool OpenSubdirectory(const OutputDirectory& parent, const std::string& name, OutputDirectory& directory,
                      std::string& error);

// What holds a name in a directory now; links are not followed.
enum class NameHolder { kNothing, kFile, kLink, kOther };
NameHolder WhatHolds(const OutputDirectory& directory, const std::string& name);

// A name a new file may take over: free, a file, or a link (replaced
// itself, never followed); not a directory, FIFO or device.
bool Replaceable(const OutputDirectory& directory, const std::string& name);

// Permission bits, owner and group a new file takes over from the file it
// replaces (POSIX); where the process may not set the owner, the set-id
// bits are dropped rather than given to the caller's file.
struct KeptAttributes {
    bool kept = false;
    uint32_t mode = 0;
    uint32_t owner = 0;
    uint32_t group = 0;
};

// A file being written. It has no name until Commit (a nameless file where
// the system offers one, or a fresh temporary name beside the target); if
// Commit is never reached, nothing of it stays.
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() { Abandon(); }

    // Starts the file that is to be `name` in `directory` (which must stay
    // open until Commit). False with a complete message in `error`.
    bool Begin(const OutputDirectory& directory, const std::string& name, std::string& error);
    bool Append(const uint8_t* data, size_t size, std::string& error);
    // Writes `size` bytes at the start of the file, over bytes appended
    // before: for a front that is known only once everything after it is
    // written. The last write before Commit.
    bool OverwriteStart(const uint8_t* data, size_t size, std::string& error);
    // Gives the file its name. With `replace` a file or link of that name
    // is replaced (a link itself, never its target); without, an existing
    // name makes it fail. `attributes`, when kept, are set first. An
    // interrupt that comes before the name is given makes it fail, leaving
    // the name as it was.
    bool Commit(bool replace, const KeptAttributes& attributes, std::string& error);
    void Abandon();

private:
    const OutputDirectory* directory_ = nullptr;
    std::string name_;
    std::string temporary_;  // its temporary name, when it has one
#ifdef _WIN32
    void* handle_ = nullptr;
    std::wstring temporary_path_;
#else
    int descriptor_ = -1;
    bool nameless_ = false;
#endif
};

// Writes `size` bytes as `name` in `directory`, complete or not at all.
bool WriteFileIn(const OutputDirectory& directory, const std::string& name, const uint8_t* data, size_t size,
                 bool replace, std::string& error);

}  // namespace kova::cli
