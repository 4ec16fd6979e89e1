#include "cli/input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/messages.h"

namespace kova::cli {
namespace {

// What a name that is not a file or a stream is, for the message.
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a directory";
    if (S_ISSOCK(mode)) return "it is a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
    return "it is not a file";
}

// Standard input may also be a device (/dev/null, /dev/zero): read as a
// stream, its first bytes tell it is no archive.
bool Judge(int descriptor, const std::string& what, bool devices_stream, InputFile& input, std::string& error) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) {
        error = "cannot read " + what + ": " + DescribeErrno(errno);
        close(descriptor);
        return false;
    }
    bool stream = S_ISFIFO(info.st_mode) || (devices_stream && S_ISCHR(info.st_mode));
    if (isatty(descriptor)) {
        error = "cannot read " + what + ": it is a terminal; give the archive as a file or through a pipe";
        close(descriptor);
        return false;
    }
    if (!S_ISREG(info.st_mode) && !stream) {
        error = "cannot read " + what + ": " + KindOf(info.st_mode);
        close(descriptor);
        return false;
    }
    // Opened without waiting; read with waiting, as a stream's writer may
    // be slower than its reader.
    int flags = fcntl(descriptor, F_GETFL);
    if (flags >= 0) fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    input.file.Close();
    input.file.handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(descriptor));
    input.kind = S_ISREG(info.st_mode) ? InputKind::kFile : InputKind::kStream;
    input.size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    return true;
}

}  // namespace

bool OpenInputFile(const std::string& path, InputFile& input, std::string& error) {
    // O_NONBLOCK: opening a FIFO that has no writer would otherwise wait
    // for one; opening a regular file is the same either way.
    int descriptor;
    do {
        descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        int failure = errno;
        struct stat info;
        // A socket cannot be opened at all; say what it is.
        if (failure == ENXIO && stat(path.c_str(), &info) == 0) {
            error = "cannot read " + Printable(path) + ": " + KindOf(info.st_mode);
        } else {
            error = "cannot open " + Printable(path) + ": " + DescribeErrno(failure);
        }
        return false;
    }
    return Judge(descriptor, Printable(path), false, input, error);
}

bool OpenStandardInputFile(InputFile& input, std::string& error) {
    int descriptor = fcntl(0, F_DUPFD_CLOEXEC, 3);
    if (descriptor < 0) {
        error = "cannot read standard input: " + DescribeErrno(errno);
        return false;
    }
    if (!Judge(descriptor, "standard input", true, input, error)) return false;
    // Only a file's own start is an archive's start; a file already read
    // into (a shell's here-document, a file handed on) is a stream from
    // where it stands.
    if (input.kind == InputKind::kFile && lseek(descriptor, 0, SEEK_CUR) != 0) input.kind = InputKind::kStream;
    return true;
}

}  // namespace kova::cli
