#include "cli/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kova::cli {

#ifdef _WIN32
namespace {

std::wstring WideIn(UINT code_page, const char* text, size_t length) {
    if (length == 0) return {};
    int units = MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), wide.data(), units);
    return wide;
}

std::string NarrowIn(UINT code_page, const wchar_t* text, size_t length) {
    if (length == 0) return {};
    int bytes = WideCharToMultiByte(code_page, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(code_page, 0, text, static_cast<int>(length), narrow.data(), bytes, nullptr, nullptr);
    }
    return narrow;
}

}  // namespace

void UseUtf8Console() { SetConsoleOutputCP(CP_UTF8); }

std::wstring WideOf(const std::string& utf8) { return WideIn(CP_UTF8, utf8.data(), utf8.size()); }
std::string Utf8OfWide(const wchar_t* text, size_t length) { return NarrowIn(CP_UTF8, text, length); }
std::string AnsiOf(const std::string& utf8) {
    std::wstring wide = WideOf(utf8);
    return NarrowIn(CP_ACP, wide.data(), wide.size());
}
std::string Utf8OfAnsi(const char* text, size_t length) {
    std::wstring wide = WideIn(CP_ACP, text, length);
    return Utf8OfWide(wide.data(), wide.size());
}

std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(WideOf(utf8)); }
std::string Utf8Of(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    return Utf8OfWide(wide.data(), wide.size());
}
std::FILE* OpenFile(const std::string& utf8, const char* mode) {
    std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(WideOf(utf8).c_str(), wide_mode.c_str());
}
#else
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(utf8); }
std::string Utf8Of(const std::filesystem::path& path) { return path.string(); }
std::FILE* OpenFile(const std::string& utf8, const char* mode) { return std::fopen(utf8.c_str(), mode); }
#endif

}  // namespace kova::cli
