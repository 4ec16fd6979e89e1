// kova: list and extract KOVA archives with the kova plug-in, the way an
// image viewer would use it; pack and replace entries with the format and
// archive libraries.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#ifdef _WIN32
#include <cwchar>
#endif

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/text.h"
#include "host/plugin_loader.h"

namespace {

using namespace kova::cli;

enum class Command { kNone, kInfo, kProbe, kList, kExtract, kCat, kPack, kReplace };

struct Invocation {
    Command command = Command::kNone;
    std::string plugin_path;
    std::string offset_text;  // --offset as typed; checked after parsing
    ProbeOptions probe;
    ListOptions list;
    ExtractOptions extract;
    CatOptions cat;
    PackOptions pack;
    ReplaceOptions replace;
    std::string method_text = "auto";  // --method as typed
    bool best = false;
};

const char* const kCommandNames[] = {"info", "probe", "list", "extract", "cat", "pack", "replace"};

bool IsCommandName(const std::string& word) {
    for (const char* name : kCommandNames) {
        if (word == name) return true;
    }
    return false;
}

CLI::App* AddCommand(CLI::App& app, Invocation& invocation, Command command, const char* name,
                     const char* description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->fallthrough();  // --plugin may come after the command too
    sub->callback([&invocation, command] { invocation.command = command; });
    return sub;
}

void DefineCommands(CLI::App& app, Invocation& invocation) {
    app.add_option("--plugin", invocation.plugin_path, "The plug-in to load (default: kova.so beside kova)")
        ->type_name("PATH");
    app.require_subcommand(1);
    app.set_version_flag("--version", "kova " KOVA_VERSION);

    AddCommand(app, invocation, Command::kInfo, "info", "Show the plug-in's information strings");

    CLI::App* probe = AddCommand(app, invocation, Command::kProbe, "probe",
                                 "Say of each file whether it is a KOVA archive (exit 1 unless all are)");
    probe->add_option("FILE", invocation.probe.files, "Files to look at")->required();

    CLI::App* list = AddCommand(app, invocation, Command::kList, "list",
                                "List the entries: index, name, packed size, unpacked size (bytes)");
    list->add_option("ARCHIVE", invocation.list.archive, "The archive")->required();
    list->add_option("--offset", invocation.offset_text, "Where the archive starts inside the file (bytes)")
        ->type_name("N");
    list->add_flag("--json", invocation.list.json, "Print one JSON document instead of lines");
    list->footer("Example: kova list examples/sample.DAT --json");

    CLI::App* extract = AddCommand(app, invocation, Command::kExtract, "extract",
                                   "Write entries to files named as 'kova list' shows them");
    extract->add_option("ARCHIVE", invocation.extract.archive, "The archive")->required();
    extract->add_option("ENTRY", invocation.extract.entries, "Entries by name or index (default: all)");
    extract->add_option("-o,--output", invocation.extract.directory,
                        "Directory to write into, created if missing (default: the current directory)")
        ->type_name("DIR");
    extract->add_flag("-q,--quiet", invocation.extract.quiet, "No progress bar, no summary");
    extract->footer("Examples: kova extract examples/sample.DAT -o out\n"
                    "          kova extract examples/sample.DAT 0 sample_002.MID");

    CLI::App* cat = AddCommand(app, invocation, Command::kCat, "cat", "Write one entry's content to standard output");
    cat->add_option("ARCHIVE", invocation.cat.archive, "The archive")->required();
    cat->add_option("ENTRY", invocation.cat.entry, "The entry, by name or index")->required();
    cat->footer("Example: kova cat examples/sample.DAT sample_004.DAT");

    CLI::App* pack = AddCommand(app, invocation, Command::kPack, "pack",
                                "Make an archive of files; a directory gives its files named NAME_007.BMP and so on, "
                                "in index order");
    pack->add_option("OUT", invocation.pack.output, "The archive to write")->required();
    pack->add_option("INPUT", invocation.pack.inputs, "Files (one entry each) and directories")->required();
    pack->add_flag("--best", invocation.best, "The smallest coding there is (slower)");
    pack->add_option("--method", invocation.method_text,
                     "auto (the smallest of the three), 1, 2, or stored (content kept as it is)")
        ->check(CLI::IsMember({"auto", "1", "2", "stored"}))
        ->type_name("auto|1|2|stored");
    pack->add_flag("-q,--quiet", invocation.pack.quiet, "Print nothing when all goes well");
    pack->add_flag("--json", invocation.pack.json, "Print one JSON document instead of lines");
    pack->footer("Examples: kova pack new.DAT title.BMP theme.MID\n"
                 "          kova extract disk1.DAT -o d && kova pack new.DAT d");

    CLI::App* replace = AddCommand(app, invocation, Command::kReplace, "replace",
                                   "Give entries new content; all others are kept byte for byte");
    replace->add_option("ARCHIVE", invocation.replace.archive, "The archive")->required();
    replace->add_option("ENTRY=FILE", invocation.replace.replacements, "Entry by index or name, and its new content")
        ->required();
    replace->add_option("-o,--output", invocation.replace.output, "Write here instead of replacing ARCHIVE")
        ->type_name("OUT");
    replace->add_flag("--best", invocation.best, "The smallest coding there is (slower)");
    replace->add_flag("-q,--quiet", invocation.replace.quiet, "Print nothing when all goes well");
    replace->footer("Example: kova replace disk1.DAT 7=edited.BMP disk1_012.WAV=new.WAV -o patched.DAT");
}

// The first word that is not an option: what the user meant as the command.
std::string FirstWord(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        std::string word = argv[k];
        if (word == "--plugin") {
            ++k;  // its value
            continue;
        }
        if (!word.empty() && word[0] != '-') return word;
    }
    return {};
}

// A byte offset in decimal, or in hexadecimal after 0x.
bool ParseOffset(const std::string& text, uint64_t& offset) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) return false;
    uint64_t base = hex ? 16 : 10;
    offset = 0;
    for (char c : digits) {
        uint64_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint64_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<uint64_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<uint64_t>(c - 'A' + 10);
        } else {
            return false;
        }
        // The plug-in takes the offset as a signed pointer-sized number.
        if (offset > (static_cast<uint64_t>(INTPTR_MAX) - digit) / base) return false;
        offset = offset * base + digit;
    }
    return true;
}

int ReportUsageError(const CLI::App& app, const std::string& message) {
    ReportError(message);
    std::fprintf(stderr, "\n%s", app.help().c_str());
    return kExitUsage;
}

int Run(const Invocation& invocation) {
    std::string plugin_path = invocation.plugin_path.empty() ? kova::DefaultPluginPath() : invocation.plugin_path;
    kova::PluginApi api;
    std::string error;
    if (!kova::LoadPlugin(plugin_path, api, error)) {
        ReportError(error + " (--plugin PATH names another)");
        return kExitFailure;
    }
    int exit_code = kExitFailure;
    switch (invocation.command) {
    case Command::kInfo:
        exit_code = RunInfo(api, plugin_path);
        break;
    case Command::kProbe:
        exit_code = RunProbe(api, invocation.probe);
        break;
    case Command::kList:
        exit_code = RunList(api, invocation.list);
        break;
    case Command::kExtract:
        exit_code = RunExtract(api, invocation.extract);
        break;
    case Command::kCat:
        exit_code = RunCat(api, invocation.cat);
        break;
    case Command::kPack:
        exit_code = RunPack(api, invocation.pack);
        break;
    case Command::kReplace:
        exit_code = RunReplace(api, invocation.replace);
        break;
    case Command::kNone:
        break;
    }
    std::fflush(stdout);
    kova::UnloadPlugin(api);
    return exit_code;
}

}  // namespace

namespace {

int Main(int argc, char** argv) {
    CLI::App app("kova: list, extract, pack and replace KOVA archives (*.DAT)", "kova");
    Invocation invocation;
    DefineCommands(app, invocation);

    std::string word = FirstWord(argc, argv);
    if (!word.empty() && !IsCommandName(word)) {
        return ReportUsageError(app, "unknown command '" + word + "' (commands: info, probe, list, extract, cat, pack, replace)");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& failure) {
        std::string message = failure.what();
        if (message.empty() || message == "A subcommand is required") message = "no command given";
        return ReportUsageError(app, message);
    }
    if (!invocation.offset_text.empty() && !ParseOffset(invocation.offset_text, invocation.list.offset)) {
        return ReportUsageError(app, "--offset: '" + invocation.offset_text +
                                         "' is not a byte offset (a number of 0 or more, decimal or 0x hex)");
    }
    using kova::EncoderStrength;
    using kova::PackMethod;
    EncoderStrength strength = invocation.best ? EncoderStrength::kBest : EncoderStrength::kDefault;
    invocation.pack.strength = invocation.replace.strength = strength;
    const std::string& method = invocation.method_text;
    invocation.pack.method = method == "1"        ? PackMethod::kWide
                             : method == "2"      ? PackMethod::kNarrow
                             : method == "stored" ? PackMethod::kStored
                                                  : PackMethod::kAuto;
    return Run(invocation);
}

}  // namespace

#ifdef _WIN32
// The command line in UTF-16, taken to UTF-8 here and never through the ANSI
// code page, so that any path Windows can spell reaches the plug-in.
int wmain(int argc, wchar_t** wargv) {
    kova::cli::UseUtf8Console();
    std::vector<std::string> args;
    for (int k = 0; k < argc; ++k) args.push_back(kova::cli::Utf8OfWide(wargv[k], std::wcslen(wargv[k])));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
