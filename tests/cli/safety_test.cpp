// kova run in real directories set up to hurt it: planted links, FIFOs,
// devices, hard links, modes, locks, signals and memory limits. Each case
// is a short shell script, run in the test's own directory with $K the
// command and $S the sample archive; it exits with kova's status, or with
// 99 when something outside what kova was told to write changed.
#ifndef _WIN32

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

struct SafetyCase {
    const char* name;
    const char* script;
    int exit_code;
    const char* message;  // part of standard error; "" for none
};

void PrintTo(const SafetyCase& c, std::ostream* out) { *out << c.name; }

class Safety : public CliTest, public ::testing::WithParamInterface<SafetyCase> {};

// AddressSanitizer reserves far more address space than any memory limit
// these cases set, so a sanitized kova cannot even start under one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

TEST_P(Safety, HoldsInARealDirectory) {
    const SafetyCase& c = GetParam();
    if (kSanitized && std::string(c.script).find("ulimit -v") != std::string::npos) {
        GTEST_SKIP() << "a memory limit and AddressSanitizer do not mix";
    }
    {
        std::ofstream script(scratch / "case.sh");
        script << "K='" << KOVA_CLI_PATH << "'\nS='" << SampleArchivePath() << "'\ncd '" << scratch.string() << "'\n"
               << c.script << "\n";
    }
    std::string command = "bash '" + (scratch / "case.sh").string() + "' >'" + (scratch / "out.txt").string() +
                          "' 2>'" + (scratch / "err.txt").string() + "' </dev/null";
    int status = std::system(command.c_str());
    int exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::string err = ReadText(scratch / "err.txt");
    EXPECT_EQ(exit_code, c.exit_code) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Safety,
    ::testing::Values(
        // Containment: nothing lands outside -o DIR, whatever names an archive brings.
        SafetyCase{"stem_dot_dot", "mkdir out; cp \"$S\" ...DAT; $K extract ...DAT \"$S\" -o out -q; rc=$?\n"
                                   "test -e sample_000.BMP && exit 99; test -e out/sample/sample_000.BMP || exit 98; exit $rc",
                   1, "'..' is not a plain directory name"},
        SafetyCase{"stdin_name_climbs", "mkdir -p a/b; $K extract - \"$S\" --name ../../X -o a/b -q < \"$S\"; rc=$?\n"
                                        "test -e X || test -e a/X && exit 99; exit $rc",
                   1, "'../../X' is not a plain directory name"},
        SafetyCase{"stdin_name_absolute", "$K extract - \"$S\" --name \"$PWD/abs\" -o o -q < \"$S\"; rc=$?\n"
                                          "test -e abs && exit 99; exit $rc",
                   1, "is not a plain directory name"},
        SafetyCase{"link_planted_at_subdirectory",
                   "mkdir out victim; ln -s ../victim out/sample; cp \"$S\" two.DAT\n"
                   "$K extract \"$S\" two.DAT -o out -q; rc=$?\n"
                   "test -z \"$(ls victim)\" || exit 99; test -e out/two/two_000.BMP || exit 98; exit $rc",
                   1, "it is a symbolic link, not followed"},
        SafetyCase{"directory_at_entry_name", "mkdir -p o/sample_000.BMP; $K extract \"$S\" 0 -o o -q", 1,
                   "it exists and is not a regular file"},
        SafetyCase{"link_at_entry_name_replaced",
                   "echo mine > victim; mkdir o; ln -s ../victim o/sample_000.BMP; $K extract \"$S\" -o o -q; rc=$?\n"
                   "[ \"$(cat victim)\" = mine ] || exit 99; test -L o/sample_000.BMP && exit 98; exit $rc",
                   0, ""},
        // Special files: judged before a byte is read, never waited on.
        SafetyCase{"fifo_without_writer", "mkfifo f; timeout 20 $K list f", 1, "f: not a KOVA archive"},
        SafetyCase{"pipe_read_as_stream", "$K list <(cat \"$S\") >/dev/null", 0, ""},
        // A pipe is spooled and read as the file is, to the last byte any
        // record reaches, even past a header that declares less.
        SafetyCase{"pipe_reads_what_the_file_reads",
                   "cp \"$S\" d.DAT; printf '\\350\\003\\000\\000' | dd of=d.DAT bs=1 seek=4 conv=notrunc 2>/dev/null\n"
                   "printf '\\240\\003\\000\\000' | dd of=d.DAT bs=1 seek=12 conv=notrunc 2>/dev/null\n"
                   // A header whose sizes wrap: it declares 56 bytes, its index ends at 72.
                   "cp \"$S\" w.DAT; printf '\\070\\000\\000\\000' | dd of=w.DAT bs=1 seek=4 conv=notrunc 2>/dev/null\n"
                   "printf '\\360\\377\\377\\377' | dd of=w.DAT bs=1 seek=12 conv=notrunc 2>/dev/null\n"
                   "for a in \"$S\" d.DAT w.DAT; do\n"
                   "  [ \"$($K cat \"$a\" 0-5 2>/dev/null | od -An -tx1)\" = \"$(cat \"$a\" | $K cat - 0-5 2>/dev/null | od -An -tx1)\" ] || exit 99\n"
                   "done; $K list d.DAT >/dev/null",
                   0, "past the end of the archive at byte 1000"},
        // --offset decides which later words are archives.
        SafetyCase{"offset_decides_archive_words",
                   "for n in a b; do head -c 512 /dev/zero > $n.bin; cat \"$S\" >> $n.bin; done\n"
                   "$K extract --offset 512 a.bin b.bin -o o -q || exit\n"
                   "test -e o/a/a_000.BMP && test -e o/b/b_000.BMP || exit 99",
                   0, ""},
        SafetyCase{"device_refused", "timeout 20 $K list /dev/zero", 1, "it is a device"},
        SafetyCase{"endless_stdin", "(ulimit -v 300000; timeout 20 $K list - < /dev/zero)", 1,
                   "standard input: not a KOVA archive"},
        SafetyCase{"check_of_endless_stdin_ends", "(cat \"$S\"; yes) | timeout 20 $K check - >&2", 1,
                   "bytes after the archive's end"},
        SafetyCase{"check_of_file_on_stdin", "$K check - < \"$S\"", 0, ""},
        SafetyCase{"fifo_in_pack_directory",
                   "mkdir p; $K extract \"$S\" -o p -q; mkfifo p/x_006.DAT; timeout 20 $K pack q.DAT p", 1,
                   "not a regular file"},
        // Writing archives: a new file renamed into place, the old one's
        // mode, links and contents kept as they should be.
        SafetyCase{"replace_keeps_mode",
                   "cp \"$S\" a.DAT; chmod 640 a.DAT; echo x > n; $K replace a.DAT 3=n -q || exit\n"
                   "[ \"$(stat -c %a a.DAT)\" = 640 ] || exit 99",
                   0, ""},
        SafetyCase{"replace_through_link",
                   "cp \"$S\" a.DAT; ln -s a.DAT l.DAT; echo x > n; $K replace l.DAT 3=n -q || exit\n"
                   "test -L l.DAT || exit 99; cmp -s a.DAT \"$S\" && exit 98; exit 0",
                   0, ""},
        SafetyCase{"replace_hard_link_refused", "cp \"$S\" a.DAT; ln a.DAT h.DAT; echo x > n; $K replace a.DAT 3=n -q", 1,
                   "--force writes it"},
        SafetyCase{"replace_hard_link_forced",
                   "cp \"$S\" a.DAT; ln a.DAT h.DAT; echo x > n; $K replace a.DAT 3=n -q --force || exit\n"
                   "cmp -s h.DAT \"$S\" || exit 99",
                   0, ""},
        SafetyCase{"concurrent_replaces_keep_every_update",
                   "cp \"$S\" a.DAT; for i in 0 1 2 3 4 5; do printf v$i > n$i; done\n"
                   "for i in 0 1 2 3 4 5; do $K replace a.DAT $i=n$i -q & done; wait\n"
                   "[ \"$($K cat a.DAT 0 1 2 3 4 5)\" = v0v1v2v3v4v5 ] || exit 99",
                   0, ""},
        SafetyCase{"replace_no_wait", "cp \"$S\" a.DAT; echo x > n; flock a.DAT sleep 5 & sleep 1\n"
                                      "$K replace a.DAT 3=n --no-wait; rc=$?; kill %1; exit $rc",
                   1, "another kova replace is updating it"},
        SafetyCase{"interrupted_replace_leaves_the_archive",
                   "cp \"$S\" a.DAT; head -c 20000000 /dev/urandom > big\n"
                   "$K replace a.DAT 3=big --best -q & pid=$!; sleep 1; kill -TERM $pid; wait $pid; rc=$?\n"
                   "cmp -s a.DAT \"$S\" || exit 99; ls | grep -q part && exit 98; exit $rc",
                   143, ""},
        SafetyCase{"pack_skips_its_own_output",
                   "mkdir p; $K extract \"$S\" -o p -q; $K pack p/x_009.DAT p -q && $K pack p/x_009.DAT p -q || exit\n"
                   "[ \"$($K list p/x_009.DAT | wc -l)\" = 6 ] || exit 99",
                   0, ""},
        SafetyCase{"pack_refuses_huge_file_by_size", "truncate -s 5G big; (ulimit -v 300000; $K pack q.DAT big)", 1,
                   "over 4 GiB"},
        SafetyCase{"out_of_memory_is_a_message", "truncate -s 300M big; (ulimit -v 150000; $K pack q.DAT big)", 1,
                   "out of memory while reading big"},
        // Failures are told, and told safely.
        SafetyCase{"pattern_matching_nothing", "$K cat \"$S\" '*.XYZ' >/dev/null", 1, "'*.XYZ' matched no entry"},
        SafetyCase{"stdin_twice_is_usage", "$K extract - - < \"$S\"", 2, "can be read only once"},
        SafetyCase{"replace_word_without_entry", "cp \"$S\" a.DAT; $K replace a.DAT =x", 2, "is not ENTRY=FILE"},
        SafetyCase{"control_characters_escaped", "cp \"$S\" \"$(printf 'e\\033[31m.DAT')\"; $K cat \"$(printf 'e\\033[31m.DAT')\" 9",
                   1, "e\\x1B[31m.DAT: no entry 9"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kova::testing

#endif
