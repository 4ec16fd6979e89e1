// How many cells of a terminal a piece of UTF-8 text takes: a wide (East
// Asian) character takes two, a combining mark none. Columns and the
// progress bar are laid out by this, not by bytes, so that names spelled in
// any script line up.
#pragma once

#include <cstddef>
#include <string>

namespace kova::cli {

// Cells `text` takes; a byte that is not valid UTF-8, or a control
// character, counts as one (Printable shows them as escapes anyway).
size_t DisplayWidth(const std::string& text);

// `text` padded with spaces to `cells` cells (unchanged when it is wider).
std::string PaddedTo(const std::string& text, size_t cells);

// The longest start of `text` that fits in `cells` cells, cut between
// characters; a combining mark stays with the character before it.
std::string FittedTo(const std::string& text, size_t cells);

}  // namespace kova::cli
