// One file's content made into an entry's stored bytes, for pack and replace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/encoder.h"

namespace kova::cli {

// False with a complete message in `error`, naming `source`, when the
// content cannot be packed as asked.
bool PackContent(const std::string& source, const std::vector<uint8_t>& content, PackMethod method,
                 EncoderStrength strength, std::vector<uint8_t>& stored, std::string& error);

}  // namespace kova::cli
