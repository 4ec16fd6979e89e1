#include "cli/archive_output.h"

#include <cerrno>

#include "archive/archive_writer.h"
#include "cli/interrupts.h"
#include "cli/messages.h"
#include "cli/text.h"


namespace kova::cli {

bool WriteArchiveFile(const std::string& path, const std::vector<std::vector<uint8_t>>& entries, std::string& error) {
    std::vector<ByteSpan> spans(entries.begin(), entries.end());
    WriteStatus status;
    int error_number = 0;
    {
        InterruptsDeferred deferred;
#ifdef _WIN32
        // The command's paths are UTF-8; Windows takes any name in UTF-16.
        std::wstring wide = WideOf(path);
        status = WriteArchive(reinterpret_cast<const WCHAR*>(wide.c_str()), spans.data(), spans.size());
#else
        status = WriteArchive(path.c_str(), spans.data(), spans.size());
#endif
        error_number = errno;
    }
    switch (status) {
    case WriteStatus::kOk:
        return true;
    case WriteStatus::kTooLarge:
        error = "cannot write " + path + ": the archive would pass 4 GiB, more than its 32-bit sizes can say";
        return false;
    case WriteStatus::kCannotCreate:
        error = "cannot create " + path + ": " + DescribeErrno(error_number);
        return false;
    case WriteStatus::kCannotWrite:
        error = "cannot write " + path + ": " + DescribeErrno(error_number);
        return false;
    }
    return false;
}

}  // namespace kova::cli
