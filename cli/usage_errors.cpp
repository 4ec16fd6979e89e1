#include "cli/usage_errors.h"

#include <cctype>

namespace kova::cli {
namespace {

// What follows `marker` in `message`, or "" when it is not there.
std::string After(const std::string& message, const std::string& marker) {
    size_t at = message.find(marker);
    return at == std::string::npos ? std::string() : message.substr(at + marker.size());
}

std::string Before(const std::string& message, const std::string& marker) {
    size_t at = message.find(marker);
    return at == std::string::npos ? message : message.substr(0, at);
}

std::string Lowercase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string UsageMessage(const CLI::ParseError& failure, const std::vector<std::string>& words) {
    std::string message = failure.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&failure) != nullptr) {
        // "The following arguments were not expected: b a", in no set order:
        // the one that comes first on the command line is named.
        std::string extras = After(message, ": ") + " ";
        std::string first = extras.substr(0, extras.find(' '));
        for (const std::string& word : words) {
            if (!word.empty() && (" " + extras).find(" " + word + " ") != std::string::npos) {
                first = word;
                break;
            }
        }
        if (!first.empty() && first[0] == '-' && first != "-") return "unknown option '" + Before(first, "=") + "'";
        return "unexpected argument '" + first + "'";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&failure) != nullptr) {
        if (message.rfind("A subcommand", 0) == 0) return "no command given";
        return "no " + Before(message, " is required") + " given";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&failure) != nullptr) {
        if (message.find(": At Most ") != std::string::npos) {
            return Before(message, ": At Most ") + " is given more than once; it takes one value";
        }
        std::string name = After(message, " arguments to ");
        if (!name.empty()) return Before(name, ",") + " needs a value";
        if (message.find(": At least ") != std::string::npos) return Before(message, ": At least ") + " needs a value";
        // "--output: 1 required DIR missing".
        if (message.find(" required ") != std::string::npos && message.find(" missing") != std::string::npos) {
            std::string value = Before(After(After(message, ": "), " required "), " missing");
            return Before(message, ": ") + " needs a value (" + value + ")";
        }
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&failure) != nullptr) {
        return Before(message, " excludes ") + " and " + After(message, " excludes ") + " cannot be used together";
    }
    if (dynamic_cast<const CLI::RequiresError*>(&failure) != nullptr) {
        return Before(message, " requires ") + " needs " + After(message, " requires ") + " too";
    }
    if (dynamic_cast<const CLI::ConversionError*>(&failure) != nullptr) {
        // A flag given a value ("--json=yes"), or a value of the wrong kind.
        std::string name = Before(message, ":");
        if (message.find("too many inputs for a flag") != std::string::npos ||
            message.find("Should be true/false") != std::string::npos) {
            return name + " takes no value";
        }
        std::string value = After(message, " = ");
        if (!value.empty()) return Before(After(message, "convert: "), " = ") + ": '" + value + "' is not a value it takes";
    }
    // ValidationError: "--method: 'x' is not one of ..." as Choice words it.
    if (message.empty()) return "the command line is wrong";
    return message;
}

CLI::Validator Choice(std::vector<std::string> choices, bool ignore_case) {
    return CLI::Validator(
        [choices, ignore_case](std::string& value) -> std::string {
            for (const std::string& choice : choices) {
                if (value == choice || (ignore_case && Lowercase(value) == Lowercase(choice))) {
                    value = choice;
                    return {};
                }
            }
            std::string listed;
            for (size_t k = 0; k < choices.size(); ++k) {
                listed += (k == 0 ? "" : ", ") + choices[k];
            }
            return "'" + value + "' is not one of " + listed;
        },
        "");
}

}  // namespace kova::cli
