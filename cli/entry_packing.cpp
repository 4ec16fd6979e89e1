#include "cli/entry_packing.h"

#include "cli/messages.h"

namespace kova::cli {

bool PackContent(const std::string& source, const std::vector<uint8_t>& content, PackMethod method,
                 EncoderStrength strength, std::vector<uint8_t>& stored, std::string& error) {
    SetActivity("packing " + Printable(source));
    switch (PackEntry(ByteSpan(content.data(), content.size()), method, strength, stored)) {
    case PackStatus::kOk:
        return true;
    case PackStatus::kCannotStore:
        error = source + ": cannot be stored as it is: " +
                (content.empty() ? std::string("an empty entry has no first byte to mark it stored")
                                 : "its first byte would read as a coded entry's method") +
                "; leave out --method stored";
        return false;
    case PackStatus::kTooLarge:
        error = source + ": too large for an entry (its sizes must fit 32 bits)";
        return false;
    }
    return false;
}

}  // namespace kova::cli
