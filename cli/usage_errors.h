// A command line the argument library refuses, told in kova's own words:
// what is wrong and the word that is, never the library's phrasing.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kova::cli {

// The message for what the library threw, e.g. "unknown option '--colour'";
// `words` is the command line, for naming the first word that is wrong.
std::string UsageMessage(const CLI::ParseError& failure, const std::vector<std::string>& words);

// A check that the value is one of `choices` (compared without case when
// `ignore_case`; the value then becomes the choice's own spelling). It adds
// nothing to the help: the option's description names the choices once.
CLI::Validator Choice(std::vector<std::string> choices, bool ignore_case);

}  // namespace kova::cli
