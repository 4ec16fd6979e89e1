// kova's help, in its own form: a usage line, what the command does, one
// line per operand and option with its value named (`-o, --output DIR`),
// and examples. Built from the options as they are registered with the
// argument library, so an option added there shows up here by itself.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <string>

namespace kova::cli {

struct HelpPage {
    std::string operands;  // after "kova COMMAND [options]"; empty: from the positionals
    std::string examples;  // one command line a line
};

// The help of one command (`command` is a subcommand of kova's app).
std::string CommandHelp(const CLI::App& command, const HelpPage& page);

// kova's own help: its commands, its options, the exit statuses.
std::string MainHelp(const CLI::App& app);

// `text` cut into lines of at most `width` display cells between words,
// every line after the first indented by `indent` spaces.
std::string Wrapped(const std::string& text, size_t width, size_t indent);

// The value an option takes as its help names it: the type name without
// the choices the argument library adds to it.
std::string ValueName(const CLI::Option& option);

// The option's names as help and messages write them: "-o, --output".
std::string OptionNames(const CLI::Option& option);

}  // namespace kova::cli
