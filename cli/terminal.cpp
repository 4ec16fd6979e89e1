#include "cli/terminal.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kova::cli {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

size_t TerminalColumns(std::FILE* stream) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetConsoleScreenBufferInfo(console, &info) && info.srWindow.Right > info.srWindow.Left) {
        return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    }
#else
    struct winsize size;
    std::memset(&size, 0, sizeof size);
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
    // A pseudo-terminal nobody gave a size, or a system that does not say.
    const char* columns = std::getenv("COLUMNS");
    if (columns != nullptr && *columns != '\0') {
        char* end = nullptr;
        unsigned long value = std::strtoul(columns, &end, 10);
        if (*end == '\0' && value > 0 && value < 100000) return value;
    }
    return 80;
}

void UseBinaryStandardOutput() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

void UseBinaryStandardInput() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
}

}  // namespace kova::cli
