#include "cli/help_text.h"

#include <algorithm>
#include <vector>

#include "cli/display_width.h"

namespace kova::cli {
namespace {

constexpr size_t kPageWidth = 80;
constexpr size_t kWidestName = 26;  // a longer name gets its description on the next line

struct Row {
    std::string name;
    std::string description;
};

// Rows as a two-column table: names padded to the widest (within reason),
// descriptions wrapped to the page.
std::string Table(const std::vector<Row>& rows) {
    size_t column = 0;
    for (const Row& row : rows) {
        size_t width = DisplayWidth(row.name);
        if (width <= kWidestName) column = std::max(column, width);
    }
    std::string text;
    size_t indent = 2 + column + 2;
    for (const Row& row : rows) {
        size_t width = DisplayWidth(row.name);
        text += "  " + row.name;
        if (row.description.empty()) {
            text += "\n";
            continue;
        }
        if (width > column) {
            text += "\n" + std::string(indent, ' ');
        } else {
            text += std::string(column - width + 2, ' ');
        }
        text += Wrapped(row.description, kPageWidth - indent, indent) + "\n";
    }
    return text;
}

bool Repeats(const CLI::Option& option) { return option.get_items_expected_max() > 1; }

// "ARCHIVE...", "[ENTRY...]".
std::string OperandName(const CLI::Option& operand) {
    std::string name = operand.get_name() + (Repeats(operand) ? "..." : "");
    return operand.get_required() ? name : "[" + name + "]";
}

std::vector<const CLI::Option*> Operands(const CLI::App& command) {
    return command.get_options([](const CLI::Option* option) { return !option->nonpositional(); });
}

// Options in the order they were added, help last.
std::vector<const CLI::Option*> Options(const CLI::App& command) {
    std::vector<const CLI::Option*> options = command.get_options([&](const CLI::Option* option) {
        return option->nonpositional() && option != command.get_help_ptr() && option->get_group() != "";
    });
    if (command.get_help_ptr() != nullptr) options.push_back(command.get_help_ptr());
    return options;
}

std::string OptionRowName(const CLI::Option& option) {
    std::string names = OptionNames(option);
    // Long names line up whether or not a short one comes first.
    if (option.get_snames().empty()) names = "    " + names;
    if (option.get_type_size_max() > 0 && option.get_expected_max() > 0) names += " " + ValueName(option);
    return names;
}

std::string ExampleLines(const std::string& examples) {
    std::string text;
    size_t at = 0;
    while (at < examples.size()) {
        size_t end = examples.find('\n', at);
        if (end == std::string::npos) end = examples.size();
        std::string line = examples.substr(at, end - at);
        at = end + 1;
        if (!line.empty()) text += "  " + line + "\n";
    }
    return text;
}

}  // namespace

std::string ValueName(const CLI::Option& option) {
    std::string type = option.get_type_name();
    return type.substr(0, type.find(':'));
}

std::string OptionNames(const CLI::Option& option) {
    std::string names;
    for (const std::string& name : option.get_snames()) names += (names.empty() ? "-" : ", -") + name;
    for (const std::string& name : option.get_lnames()) names += (names.empty() ? "--" : ", --") + name;
    return names;
}

std::string Wrapped(const std::string& text, size_t width, size_t indent) {
    std::string wrapped;
    size_t line_width = 0;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '\n') {
            wrapped += "\n" + std::string(indent, ' ');
            line_width = 0;
            ++at;
            continue;
        }
        size_t end = text.find_first_of(" \n", at);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(at, end - at);
        size_t word_width = DisplayWidth(word);
        if (line_width > 0 && line_width + 1 + word_width > width) {
            wrapped += "\n" + std::string(indent, ' ');
            line_width = 0;
        } else if (line_width > 0) {
            wrapped += ' ';
            line_width += 1;
        }
        wrapped += word;
        line_width += word_width;
        at = end < text.size() && text[end] == ' ' ? end + 1 : end;
    }
    return wrapped;
}

std::string CommandHelp(const CLI::App& command, const HelpPage& page) {
    std::string operands = page.operands;
    std::vector<Row> operand_rows;
    for (const CLI::Option* operand : Operands(command)) {
        if (page.operands.empty()) operands += (operands.empty() ? "" : " ") + OperandName(*operand);
        operand_rows.push_back({operand->get_name(), operand->get_description()});
    }
    std::string text = "Usage: kova " + command.get_name() + " [options]" + (operands.empty() ? "" : " " + operands) +
                       "\n\n" + Wrapped(command.get_description(), kPageWidth, 0) + "\n";
    if (!operand_rows.empty()) text += "\nArguments:\n" + Table(operand_rows);
    std::vector<Row> option_rows;
    for (const CLI::Option* option : Options(command)) {
        option_rows.push_back({OptionRowName(*option), option->get_description()});
    }
    text += "\nOptions:\n" + Table(option_rows);
    if (!page.examples.empty()) text += "\nExamples:\n" + ExampleLines(page.examples);
    return text;
}

std::string MainHelp(const CLI::App& app) {
    std::string text = "Usage: kova COMMAND [options] [ARGUMENTS...]\n\n" +
                       Wrapped(app.get_description(), kPageWidth, 0) + "\n\nCommands:\n";
    std::vector<Row> command_rows;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        command_rows.push_back({command->get_name(), command->get_description()});
    }
    text += Table(command_rows);
    std::vector<Row> option_rows;
    for (const CLI::Option* option : Options(app)) {
        option_rows.push_back({OptionRowName(*option), option->get_description()});
    }
    text += "\nOptions:\n" + Table(option_rows);
    text += "\nExit status:\n" +
            Table({{"0", "the command did what was asked"},
                   {"1", "it failed (one line on standard error says why), check found damage, or probe found a file "
                         "that is no KOVA archive"},
                   {"2", "the command line is wrong"},
                   {"130", "interrupted (Ctrl-C)"}});
    text += "\n'kova COMMAND --help' tells more of each; 'man kova' tells all.\n";
    return text;
}

}  // namespace kova::cli
