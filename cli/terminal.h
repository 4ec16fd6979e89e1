// The little the command needs from the console, on every system it runs on.
#pragma once

#include <cstddef>
#include <cstdio>

namespace kova::cli {

// True when `stream` is an interactive terminal (and not a pipe or a file).
bool IsTerminal(std::FILE* stream);

// How many columns the terminal `stream` writes to has: the terminal's own
// word (TIOCGWINSZ; the console's window on Windows), else COLUMNS, else 80.
// Asked again at every call, so a resized window is followed.
size_t TerminalColumns(std::FILE* stream);

// Makes standard output pass bytes through unchanged, so entry content is
// never altered on its way out (Windows would otherwise rewrite line ends).
void UseBinaryStandardOutput();

// The same for standard input, so archive bytes arrive unchanged.
void UseBinaryStandardInput();

}  // namespace kova::cli
