// SHA-256 of entries' contents and of whole archives, for `list --hash`,
// manifests and `check --manifest`. A stored range that several records
// share is decoded and hashed once, for the first of them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/archive_source.h"

namespace kova::cli {

struct ContentHasher {
    explicit ContentHasher(const ListedArchive& listed) : archive(listed) {}

    // The entry's content hashed, as lowercase hex; empty when its declared
    // size is one its stored bytes could never give (extracting it would
    // only hash gigabytes of zeros nobody stored) or when it cannot be had:
    // then `failed` is set and the reason reported.
    std::string Of(uint32_t index, bool& failed);

    const ListedArchive& archive;
    std::unordered_map<uint32_t, std::string> of_owner;  // ranges shared, by their first record
    std::vector<bool> has_sharers;
};

// The SHA-256 of the archive's bytes, from its start to the end of the file
// (what was read of standard input). False with the reason in `error`.
bool HashArchive(const ListedArchive& archive, std::string& hex, std::string& error);

}  // namespace kova::cli
