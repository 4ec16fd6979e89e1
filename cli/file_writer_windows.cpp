// The writer on Windows: names are single components checked before use,
// joined to the directory's path; a reparse point (a link or junction) met
// below the directory the user named is refused, and files are written
// under a fresh temporary name and moved over the target when complete.
#include "cli/file_writer.h"

#include <filesystem>
#include <system_error>
#include <windows.h>

#include "archive/file_io.h"
#include "cli/interrupts.h"
#include "cli/messages.h"
#include "cli/text.h"

namespace kova::cli {
namespace {

std::string Where(const OutputDirectory& directory, const std::string& name) {
    return Printable(directory.display + "\\" + name);
}

std::wstring Join(const OutputDirectory& directory, const std::string& name) {
    std::wstring path = directory.path;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + WideOf(name);
}

std::string LastError() { return std::system_category().message(static_cast<int>(GetLastError())); }

TemporaryFileGuard guard;

}  // namespace

OutputDirectory::~OutputDirectory() = default;

bool OpenOutputDirectory(const std::string& path, bool create, OutputDirectory& directory, std::string& error) {
    directory.display = path;
    directory.path = WideOf(path);
    std::error_code failure;
    if (std::filesystem::is_directory(PathOf(path), failure)) return true;
    if (!create || std::filesystem::exists(PathOf(path), failure)) {
        error = "cannot open directory " + Printable(path) + (create ? ": a file of that name exists" : ": not found");
        return false;
    }
    std::filesystem::create_directories(PathOf(path), failure);
    if (failure) {
        error = "cannot create directory " + Printable(path) + ": " + failure.message();
        return false;
    }
    return true;
}

bool OpenSubdirectory(const OutputDirectory& parent, const std::string& name, OutputDirectory& directory,
                      std::string& error) {
    directory.display = parent.display + "\\" + name;
    if (!CheckSubdirectoryName(directory.display, name, error)) return false;
    directory.path = Join(parent, name);
    if (!CreateDirectoryW(directory.path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = "cannot create directory " + Printable(directory.display) + ": " + LastError();
        return false;
    }
    DWORD attributes = GetFileAttributesW(directory.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "cannot extract into " + Printable(directory.display) + ": " +
                (attributes == INVALID_FILE_ATTRIBUTES                ? LastError()
                 : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? std::string("it is a link, not followed")
                                                                      : std::string("it exists and is not a directory"));
        return false;
    }
    return true;
}

NameHolder WhatHolds(const OutputDirectory& directory, const std::string& name) {
    DWORD attributes = GetFileAttributesW(Join(directory, name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return NameHolder::kNothing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return NameHolder::kLink;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NameHolder::kOther;
    return NameHolder::kFile;
}

// Files are written with the archive library's own complete-or-nothing
// pieces, the ones the plug-in's disk output uses: a fresh temporary name
// beside the target, moved over it when complete.
bool NewFile::Begin(const OutputDirectory& directory, const std::string& name, std::string& error) {
    Abandon();
    directory_ = &directory;
    name_ = name;
    if (!IsPlainComponent(name)) {
        error = "cannot create " + Where(directory, name) + ": not a plain file name";
        return false;
    }
    std::wstring target = Join(directory, name);
    WCHAR temporary[kMaxFilePath];
    FileHandle file;
    guard.Arm();
    if (!CreateTemporaryBeside(reinterpret_cast<const WCHAR*>(target.c_str()), temporary, file)) {
        guard.Disarm();
        error = "cannot create " + Where(directory, name) + ": " + LastError();
        return false;
    }
    temporary_path_.assign(reinterpret_cast<const wchar_t*>(temporary));
    temporary_ = name;  // marks that a temporary file exists
    handle_ = file.handle;
    file.handle = INVALID_HANDLE_VALUE;
    return true;
}

bool NewFile::Append(const uint8_t* data, size_t size, std::string& error) {
    if (WriteAll(static_cast<HANDLE>(handle_), data, size)) return true;
    error = "cannot write " + Where(*directory_, name_) + ": " + LastError();
    Abandon();
    return false;
}

bool NewFile::OverwriteStart(const uint8_t* data, size_t size, std::string& error) {
    HANDLE handle = static_cast<HANDLE>(handle_);
    LONG high = 0;
    if (SetFilePointer(handle, 0, &high, FILE_BEGIN) == 0 && WriteAll(handle, data, size)) return true;
    error = "cannot write " + Where(*directory_, name_) + ": " + LastError();
    Abandon();
    return false;
}

bool NewFile::Commit(bool replace, const KeptAttributes&, std::string& error) {
    bool closed = CloseHandle(static_cast<HANDLE>(handle_)) != 0;
    handle_ = nullptr;
    if (closed && replace && !Replaceable(*directory_, name_)) {
        error = "cannot create " + Where(*directory_, name_) + ": it exists and is not a regular file";
        Abandon();
        return false;
    }
    std::wstring to = Join(*directory_, name_);
    if (closed && MoveFileNamed(reinterpret_cast<const WCHAR*>(temporary_path_.c_str()),
                                reinterpret_cast<const WCHAR*>(to.c_str()), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        temporary_.clear();
        guard.Disarm();
        return true;
    }
    DWORD failure = GetLastError();
    error = "cannot create " + Where(*directory_, name_) + ": " +
            (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS ? std::string("it exists (--keep)")
                                                                            : LastError());
    Abandon();
    return false;
}

void NewFile::Abandon() {
    if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    if (!temporary_.empty()) {
        DeleteFileNamed(reinterpret_cast<const WCHAR*>(temporary_path_.c_str()));
        guard.Disarm();
    }
    temporary_.clear();
}

}  // namespace kova::cli
