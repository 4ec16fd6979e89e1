#include "cli/input_file.h"

#include <system_error>
#include <windows.h>

#include "cli/messages.h"
#include "cli/text.h"

namespace kova::cli {
namespace {

std::string LastError() { return std::system_category().message(static_cast<int>(GetLastError())); }

// Standard input may also be the NUL device: read as a stream, its first
// bytes tell it is no archive. A console is refused.
bool Judge(HANDLE handle, bool devices_stream, const std::string& what, InputFile& input, std::string& error) {
    const bool owned = true;
    DWORD type = GetFileType(handle);
    DWORD console_mode = 0;
    if (type == FILE_TYPE_CHAR && GetConsoleMode(handle, &console_mode)) {
        error = "cannot read " + what + ": it is a console; give the archive as a file or through a pipe";
        CloseHandle(handle);
        return false;
    }
    if (devices_stream && type == FILE_TYPE_CHAR) type = FILE_TYPE_PIPE;
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
        error = "cannot read " + what + ": it is a device, not a file";
        if (owned) CloseHandle(handle);
        return false;
    }
    LARGE_INTEGER size = {};
    if (type == FILE_TYPE_DISK) GetFileSizeEx(handle, &size);
    input.file.Close();
    input.file.handle = handle;
    input.kind = type == FILE_TYPE_DISK ? InputKind::kFile : InputKind::kStream;
    input.size = type == FILE_TYPE_DISK ? static_cast<uint64_t>(size.QuadPart) : 0;
    return true;
}

}  // namespace

bool OpenInputFile(const std::string& path, InputFile& input, std::string& error) {
    std::wstring wide = WideOf(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "cannot read " + Printable(path) + ": it is a directory";
        return false;
    }
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot open " + Printable(path) + ": " + LastError();
        return false;
    }
    return Judge(handle, false, Printable(path), input, error);
}

bool OpenStandardInputFile(InputFile& input, std::string& error) {
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_INPUT_HANDLE), GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        error = "cannot read standard input: " + LastError();
        return false;
    }
    if (!Judge(own, true, "standard input", input, error)) return false;
    // A file already read into is a stream from where it stands.
    LARGE_INTEGER zero = {}, here = {};
    if (input.kind == InputKind::kFile && (!SetFilePointerEx(own, zero, &here, FILE_CURRENT) || here.QuadPart != 0)) {
        input.kind = InputKind::kStream;
    }
    return true;
}

}  // namespace kova::cli
