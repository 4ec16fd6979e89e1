// JSON written as it is made, so that a listing of a million entries never
// holds them all: each piece comes out exactly as nlohmann's dump(2) of the
// whole document would lay it out.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace kova::cli {

using Json = nlohmann::ordered_json;

// `text` (valid UTF-8) as a JSON string, quoted and escaped as dump() does.
inline std::string JsonQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\b': quoted += "\\b"; break;
        case '\f': quoted += "\\f"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

// An array written one element at a time, `depth` levels deep (two spaces
// each) in the document around it: "[", the elements, "]".
struct JsonArrayWriter {
    int depth = 0;
    bool any = false;

    void Begin() { std::fputs("[", stdout); }
    // Opens the next element: what follows is written at depth + 1.
    void Next() {
        std::printf("%s\n%*s", any ? "," : "", 2 * (depth + 1), "");
        any = true;
    }
    void Add(const Json& value) {
        Next();
        WriteAt(value, depth + 1);
    }
    void End() {
        if (any) std::printf("\n%*s", 2 * depth, "");
        std::fputs("]", stdout);
    }

    // `value` laid out as it would be `level` levels deep.
    static void WriteAt(const Json& value, int level) {
        // Text that is not UTF-8 (a path, say) is written with replacement
        // characters, as the whole document's dump would.
        std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
        std::string indented;
        indented.reserve(text.size() + text.size() / 4);
        for (char c : text) {
            indented += c;
            if (c == '\n') indented.append(static_cast<size_t>(2 * level), ' ');
        }
        std::fwrite(indented.data(), 1, indented.size(), stdout);
    }
};

}  // namespace kova::cli
