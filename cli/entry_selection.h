// Turning the entries a user names on the command line into listed entries.
#pragma once

#include <string>
#include <vector>

#include "cli/archive_host.h"

namespace kova::cli {

// Each selector is an entry's index ("3") or its listed name
// ("sample_003.WAV", case ignored when no name matches exactly). No
// selectors choose every entry. The result keeps the order given and names
// each entry once. False with a complete message in `error` for the first
// selector that matches nothing.
bool SelectEntries(const ListedArchive& archive, const std::vector<std::string>& selectors,
                   std::vector<const ListedEntry*>& chosen, std::string& error);

}  // namespace kova::cli
