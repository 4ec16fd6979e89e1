// The command keeps every path and name as UTF-8. On Windows that is not
// what the system or the plug-in's ANSI exports take, so these cross over:
// to UTF-16 for the system and the Unicode exports, to the ANSI code page
// for a plug-in without them. Elsewhere paths are bytes and pass unchanged.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace kova::cli {

std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);
std::FILE* OpenFile(const std::string& utf8, const char* mode);

#ifdef _WIN32
// The console shows what the command writes as UTF-8.
void UseUtf8Console();
std::wstring WideOf(const std::string& utf8);
std::string Utf8OfWide(const wchar_t* text, size_t length);
// The ANSI code page's spelling ('?' for what it lacks), and back.
std::string AnsiOf(const std::string& utf8);
std::string Utf8OfAnsi(const char* text, size_t length);
#endif

}  // namespace kova::cli
