// kova: probe, list, extract, check, pack and replace KOVA archives with the
// format and archive libraries: the code the plug-in's exports run, without
// their viewer-shaped limits.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <vector>
#ifdef _WIN32
#include <cwchar>
#endif

#include <cerrno>

#include "cli/archive_arguments.h"
#include "cli/commands.h"
#include "cli/entry_selection.h"
#include "cli/help_text.h"
#include "cli/messages.h"
#include "cli/text.h"
#include "cli/usage_errors.h"

namespace {

using namespace kova::cli;

enum class Command { kNone, kInfo, kProbe, kList, kExtract, kCat, kCheck, kPack, kReplace };

struct Invocation {
    Command command = Command::kNone;
    std::string offset_text;  // --offset as typed; checked after parsing
    SourceOptions source;
    InfoOptions info;
    ProbeOptions probe;
    ListOptions list;
    ExtractOptions extract;
    CatOptions cat;
    CheckOptions check;
    PackOptions pack;
    ReplaceOptions replace;
    std::string method_text = "auto";  // --method as typed
    bool best = false;
    bool overwrite = false, skip_existing = false, keep = false;
};

const char* const kCommandNames[] = {"info", "probe", "list", "extract", "cat", "check", "pack", "replace"};
constexpr const char* kCommandList = "info, probe, list, extract, cat, check, pack, replace";

bool IsCommandName(const std::string& word) {
    for (const char* name : kCommandNames) {
        if (word == name) return true;
    }
    return false;
}

// What each command's help shows besides its options.
using HelpPages = std::map<std::string, HelpPage>;

CLI::App* AddCommand(CLI::App& app, Invocation& invocation, Command command, const char* name,
                     const char* description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->callback([&invocation, command] { invocation.command = command; });
    return sub;
}

// --offset and --name, for every command that reads archives.
void AddSourceOptions(CLI::App* command, Invocation& invocation) {
    command->add_option("--offset", invocation.offset_text,
                        "Where the archive starts inside each file, in bytes (decimal, or hexadecimal as 0x200)")
        ->type_name("N");
    command->add_option("--name", invocation.source.stdin_name,
                        "What an archive read from standard input ('-') is called: its entries are named after it "
                        "(default: stdin)")
        ->type_name("NAME");
}

// -e, --type and --exclude, for the commands that choose entries by them.
void AddSelectionOptions(CLI::App* command, std::vector<std::string>& entries, std::vector<std::string>& kinds,
                         std::vector<std::string>& exclusions) {
    command->add_option("-e,--entry", entries,
                        "Entries: an index (3), a range (0-5, 10-), a name, or a glob ('*.WAV'); repeatable")
        ->type_name("ENTRY");
    command->add_option("--type", kinds, "Only entries of this kind: bmp, wav, mid or dat; repeatable")
        ->check(Choice({"bmp", "wav", "mid", "dat"}, true))
        ->type_name("KIND");
    command->add_option("--exclude", exclusions,
                        "Leave out the entries this matches (an index, range, name or glob); repeatable")
        ->type_name("PATTERN");
}

void DefineCommands(CLI::App& app, Invocation& invocation, HelpPages& pages) {
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", "Show this help");
    app.set_version_flag("--version", "kova " KOVA_VERSION, "Print the version");

    CLI::App* info = AddCommand(app, invocation, Command::kInfo, "info", "Show the information strings the plug-in gives its hosts.");
    info->add_flag("--json", invocation.info.json, "Print one JSON document");
    pages["info"] = {"", "kova info --json"};

    CLI::App* probe = AddCommand(app, invocation, Command::kProbe, "probe",
                                 "Say of each file whether it is a KOVA archive (exit 1 unless all are).");
    probe->add_option("FILE", invocation.probe.files, "Files to look at")->required();
    probe->add_flag("--json", invocation.probe.json, "Print one JSON document");
    pages["probe"] = {"", "kova probe *.DAT"};

    CLI::App* list = AddCommand(app, invocation, Command::kList, "list",
                                "List the entries: index, name, packed size, unpacked size (bytes).");
    list->add_option("ARCHIVE", invocation.list.archives, "Archives ('-': standard input)")->required();
    AddSelectionOptions(list, invocation.list.entries, invocation.list.kinds, invocation.list.exclusions);
    AddSourceOptions(list, invocation);
    list->add_flag("-l,--long", invocation.list.long_form, "Show each entry's method, offset, kind and ratio too");
    list->add_flag("--json", invocation.list.json, "Print JSON: kind, method, offset and sizes of each entry");
    list->add_flag("--hash", invocation.list.hash, "Add each entry's SHA-256");
    list->add_flag("--strict", invocation.list.strict, "Damage the index or entry heads show is an error");
    list->add_flag("--names-only", invocation.list.names_only, "Print the entries' names alone, one a line");
    pages["list"] = {"", "kova list examples/sample.DAT --json\n"
                         "kova list -l disk1.DAT disk2.DAT\n"
                         "kova list disk1.DAT --type wav --exclude '*_00[0-4].*'"};

    CLI::App* extract = AddCommand(app, invocation, Command::kExtract, "extract",
                                   "Write entries to files named as 'kova list' shows them; with no ENTRY, all of "
                                   "them.");
    extract->add_option("ARCHIVE", invocation.extract.words,
                        "Archives ('-': standard input); a later word that is no archive selects entries")
        ->required();
    AddSelectionOptions(extract, invocation.extract.entries, invocation.extract.kinds, invocation.extract.exclusions);
    extract->add_option("-o,--output", invocation.extract.directory,
                        "Directory to write into, created if missing (default: the current directory); with several "
                        "archives each goes into DIR/<its name without extension>/")
        ->type_name("DIR");
    extract->add_flag("--flat", invocation.extract.flat,
                      "With several archives, write all their entries into DIR itself (their names differ unless "
                      "two archives share a name)");
    extract->add_flag("-n,--dry-run", invocation.extract.dry_run, "Print the files it would write; write nothing");
    AddSourceOptions(extract, invocation);
    CLI::Option* overwrite = extract->add_flag("--overwrite", invocation.overwrite, "Replace existing files (the default)");
    CLI::Option* skip = extract->add_flag("--skip-existing", invocation.skip_existing, "Leave existing files, skip their entries");
    CLI::Option* keep = extract->add_flag("--keep", invocation.keep, "An existing file is an error");
    overwrite->excludes(skip)->excludes(keep);
    skip->excludes(keep);
    extract->add_flag("-v,--verbose", invocation.extract.verbose, "Print each file written");
    extract->add_flag("-q,--quiet", invocation.extract.quiet, "No progress bar, no summary");
    extract->add_flag("--strict", invocation.extract.strict, "Damage the index or entry heads show is an error");
    extract->add_flag("--force", invocation.extract.force,
                      "Extract entries even when their declared size is more than their stored bytes could give");
    pages["extract"] = {"ARCHIVE... [ENTRY...]", "kova extract examples/sample.DAT -o out\n"
                                                 "kova extract examples/sample.DAT 0 sample_002.MID\n"
                                                 "kova extract *.DAT -e '*.WAV' -o sounds --skip-existing"};

    CLI::App* cat = AddCommand(app, invocation, Command::kCat, "cat",
                               "Write entries' content to standard output, in the order given.");
    cat->add_option("ARCHIVE", invocation.cat.archive, "The archive ('-': standard input)")->required();
    cat->add_option("ENTRY", invocation.cat.entries, "Entries, by index, range, name or glob, in this order")
        ->required();
    cat->add_option("--exclude", invocation.cat.exclusions,
                    "Leave out the entries this matches (an index, range, name or glob); repeatable")
        ->type_name("PATTERN");
    AddSourceOptions(cat, invocation);
    cat->add_flag("--strict", invocation.cat.strict, "Damage the index or entry heads show is an error");
    cat->add_flag("--force", invocation.cat.force,
                  "Write binary content to a terminal, and entries whose declared size is impossible");
    pages["cat"] = {"", "kova cat examples/sample.DAT sample_003.DAT"};

    CLI::App* check = AddCommand(app, invocation, Command::kCheck, "check",
                                 "Test archives: decode every entry and report each problem (exit 1 if any).");
    check->add_option("ARCHIVE", invocation.check.archives, "Archives ('-': standard input)")->required();
    AddSourceOptions(check, invocation);
    check->add_flag("--json", invocation.check.json, "Print JSON: the problems with each entry's index and name");
    check->add_option("--allow", invocation.check.allow,
                      "A kind of finding that is only information here (gap, trailing_bytes, ...; the README lists them)")
        ->check(Choice(FindingKinds(), false))
        ->type_name("KIND");
    check->add_flag("--strict", invocation.check.strict, "Every warning (content that disagrees with its sizes) is an error");
    check->add_option("--manifest", invocation.check.manifest,
                      "A manifest ('kova list --hash --json'): every entry's content must match it")
        ->type_name("FILE");
    pages["check"] = {"", "kova check *.DAT\nkova list --hash --json *.DAT > shelf.json\nkova check --manifest shelf.json *.DAT"};

    CLI::App* pack = AddCommand(app, invocation, Command::kPack, "pack",
                                "Make an archive of files; a directory gives its files named NAME_007.BMP and so on, "
                                "in index order.");
    pack->add_option("OUT", invocation.pack.output, "The archive to write")->required();
    pack->add_option("INPUT", invocation.pack.inputs, "Files (one entry each) and directories")->required();
    pack->add_flag("--best", invocation.best, "The smallest coding there is (slower)");
    pack->add_option("--method", invocation.method_text,
                     "auto (the smallest of the three; the default), 1, 2, or stored (content kept as it is)")
        ->check(Choice({"auto", "1", "2", "stored"}, false))
        ->type_name("METHOD");
    pack->add_flag("-q,--quiet", invocation.pack.quiet, "Print nothing when all goes well");
    pack->add_flag("--json", invocation.pack.json, "Print one JSON document instead of lines");
    pack->add_flag("--force", invocation.pack.force, "Replace OUT even when it has other names (hard links)");
    pages["pack"] = {"", "kova pack new.DAT title.BMP theme.MID\n"
                         "kova extract disk1.DAT -o d && kova pack new.DAT d"};

    CLI::App* replace = AddCommand(app, invocation, Command::kReplace, "replace",
                                   "Give entries new content; all others are kept byte for byte.");
    replace->add_option("ARCHIVE", invocation.replace.archive, "The archive")->required();
    replace->add_option("ENTRY=FILE", invocation.replace.replacements, "Entry by index or name, and its new content")
        ->required();
    replace->add_option("-o,--output", invocation.replace.output, "Write here instead of replacing ARCHIVE")
        ->type_name("OUT");
    replace->add_flag("--best", invocation.best, "The smallest coding there is (slower)");
    replace->add_flag("-q,--quiet", invocation.replace.quiet, "Print nothing when all goes well");
    replace->add_flag("--force", invocation.replace.force, "Replace the archive even when it has other names (hard links)");
    replace->add_flag("--no-wait", invocation.replace.no_wait, "Fail at once while another replace updates the archive");
    pages["replace"] = {"", "kova replace disk1.DAT 7=edited.BMP disk1_012.WAV=new.WAV -o patched.DAT"};
}

// The first word that is not an option: what the user meant as the command.
// `stray` gets the first option before it that kova itself does not take.
std::string FirstWord(int argc, char** argv, std::string& stray) {
    for (int k = 1; k < argc; ++k) {
        std::string word = argv[k];
        if (word == "--help" || word == "-h" || word == "--version") continue;
        if (!word.empty() && word[0] != '-') return word;
        if (stray.empty()) stray = word;
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
        // Files are read at signed 64-bit positions.
        if (offset > (static_cast<uint64_t>(INT64_MAX) - digit) / base) return false;
        offset = offset * base + digit;
    }
    return true;
}

// The words that no archive could make right, checked before any archive
// is touched: standard input named twice, a range that ends before it
// starts, a replacement that is not ENTRY=FILE. Empty when there is none.
std::string WrongWords(const Invocation& invocation) {
    std::string error;
    auto selectors_wrong = [&](const std::vector<std::string>& words, size_t from) {
        for (size_t k = from; k < words.size(); ++k) {
            if (!IsWellFormedSelector(words[k], error)) return true;
        }
        return false;
    };
    switch (invocation.command) {
    case Command::kList:
        if (!ReadsStandardInputOnce(invocation.list.archives, error) || selectors_wrong(invocation.list.entries, 0) ||
            selectors_wrong(invocation.list.exclusions, 0)) {
            return error;
        }
        break;
    case Command::kCheck:
        if (!ReadsStandardInputOnce(invocation.check.archives, error)) return error;
        break;
    case Command::kExtract: {
        const ExtractOptions& extract = invocation.extract;
        std::vector<std::string> dashes;
        for (const std::string& word : extract.words) {
            if (word == "-") dashes.push_back(word);
        }
        if (!ReadsStandardInputOnce(dashes, error) || selectors_wrong(extract.words, 1) ||
            selectors_wrong(extract.entries, 0) || selectors_wrong(extract.exclusions, 0)) {
            return error;
        }
        break;
    }
    case Command::kCat:
        if (selectors_wrong(invocation.cat.entries, 0) || selectors_wrong(invocation.cat.exclusions, 0)) return error;
        break;
    case Command::kReplace:
        for (const std::string& pair : invocation.replace.replacements) {
            if (!IsReplacementPair(pair, error)) return error;
        }
        break;
    default:
        break;
    }
    return std::string();
}

int Run(const Invocation& invocation) {
    int exit_code = kExitFailure;
    switch (invocation.command) {
    case Command::kInfo:
        exit_code = RunInfo(invocation.info);
        break;
    case Command::kProbe:
        exit_code = RunProbe(invocation.probe);
        break;
    case Command::kList:
        exit_code = RunList(invocation.list);
        break;
    case Command::kExtract:
        exit_code = RunExtract(invocation.extract);
        break;
    case Command::kCat:
        exit_code = RunCat(invocation.cat);
        break;
    case Command::kCheck:
        exit_code = RunCheck(invocation.check);
        break;
    case Command::kPack:
        exit_code = RunPack(invocation.pack);
        break;
    case Command::kReplace:
        exit_code = RunReplace(invocation.replace);
        break;
    case Command::kNone:
        break;
    }
    FlushStandardOutput();
    return exit_code;
}

int ParseAndRun(int argc, char** argv) {
    CLI::App app("List, extract, check, pack and replace KOVA archives (*.DAT): the game-data archives the kova "
                 "plug-in opens for image viewers.",
                 "kova");
    Invocation invocation;
    HelpPages pages;
    DefineCommands(app, invocation, pages);

    std::string stray;
    std::string word = FirstWord(argc, argv, stray);
    if (!word.empty() && !IsCommandName(word)) {
        return ReportUsageError("", "unknown command '" + word + "' (commands: " + kCommandList + ")");
    }
    if (!stray.empty()) {
        return ReportUsageError("", "unknown option '" + stray + "'" +
                                        (word.empty() ? " (and no command given)" : " before the command") +
                                        "; a command's options come after it");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::string help = word.empty() ? MainHelp(app) : CommandHelp(*app.get_subcommand(word), pages[word]);
        std::fputs(help.c_str(), stdout);
        return kExitSuccess;
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& failure) {
        return ReportUsageError(word, UsageMessage(failure, std::vector<std::string>(argv + 1, argv + argc)));
    }
    std::string wrong = WrongWords(invocation);
    if (!wrong.empty()) return ReportUsageError(word, wrong);
    if (!invocation.offset_text.empty() && !ParseOffset(invocation.offset_text, invocation.source.offset)) {
        return ReportUsageError(word, "--offset: '" + invocation.offset_text +
                                          "' is not a byte offset (a number of 0 or more, decimal or 0x hex)");
    }
    invocation.list.source = invocation.extract.source = invocation.cat.source = invocation.check.source =
        invocation.source;
    invocation.extract.overwrite = invocation.keep            ? OverwriteMode::kKeep
                                   : invocation.skip_existing ? OverwriteMode::kSkipExisting
                                                              : OverwriteMode::kReplace;
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

int Main(int argc, char** argv) {
    int exit_code = kExitFailure;
    // Memory that runs out anywhere (an archive's index, a file to pack)
    // ends the command with a message and 1, never an abort.
    try {
        exit_code = ParseAndRun(argc, argv);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return kExitFailure;
    }
    // Output that never arrived is a failure, whatever the command did:
    // `kova list X > /dev/full` must not exit 0.
    bool flushed = FlushStandardOutput();
    int saved = StandardOutputError();
    errno = 0;
    bool closed = std::fclose(stdout) == 0;
    if (!closed && saved == 0) saved = errno;
    if (!flushed || !closed) {
        ReportError(std::string("cannot write to standard output") + (saved != 0 ? ": " + DescribeErrno(saved) : ""));
        return kExitFailure;
    }
    return exit_code;
}

}  // namespace

#ifdef _WIN32
// The command line in UTF-16, taken to UTF-8 here and never through the ANSI
// code page, so that any path Windows can spell opens.
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
