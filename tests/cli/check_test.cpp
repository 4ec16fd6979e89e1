// kova check over archives damaged one way each, the ways old media and bad
// copies damage them: the exact line each finding prints, its JSON record
// and the exit status; and the manifest round trip, which catches what no
// walk of the archive can (a flipped byte inside a literal run).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"

namespace kova::testing {
namespace {

constexpr size_t kIndexAt = 24;

// Entry 0 at byte 40: a coded stream of 8 bytes, closed by the writer's
// 0x00; entry 1 at byte 52, stored text, up to the archive's end at 70.
Bytes Closed() { return CodedEntry(1, 8, {0x42, 'x', 0x03, 'a', 'b', 'c', 0x00}); }
Bytes Plain(const Bytes& first = Closed()) { return BuildArchive({first, ToBytes("plain stored text\n")}); }

void SetRecord(Bytes& archive, uint32_t entry, uint32_t size, uint32_t offset) {
    PutLe32(archive, kIndexAt + 8 * entry, size);
    PutLe32(archive, kIndexAt + 8 * entry + 4, offset);
}

// A stored bitmap of 64 bytes whose header gives `file_size`.
Bytes Bitmap(uint32_t file_size) {
    Bytes b = ToBytes("BM");
    b.resize(64);
    PutLe32(b, 2, file_size);
    PutLe32(b, 10, 54);  // pixels
    PutLe32(b, 14, 40);  // info header
    PutLe32(b, 34, 10);  // image size
    return b;
}

Bytes Wave(uint32_t data_size) {
    Bytes w = ToBytes("RIFF....WAVEfmt ");
    w.resize(36 + 8 + 20);
    PutLe32(w, 4, static_cast<uint32_t>(w.size() - 8));
    PutLe32(w, 16, 16);
    std::memcpy(w.data() + 36, "data", 4);
    PutLe32(w, 40, data_size);
    return w;
}

Bytes Song(uint8_t tracks) {
    Bytes m = ToBytes("MThd");
    Append(m, {0, 0, 0, 6, 0, 1, 0, tracks, 0, 96});
    Append(m, ToBytes("MTrk"));
    Append(m, {0, 0, 0, 4, 0, 0xFF, 0x2F, 0});
    return m;
}

// One record the JSON must hold: in which array, its kind and entry, its
// offset, and one count by name.
struct Expect {
    const char* array;
    const char* kind;
    int index;  // -1: the archive
    uint64_t offset;
    const char* field;
    uint64_t value;
};

struct CheckCase {
    const char* name;
    std::function<Bytes()> make;
    std::vector<std::string> options;
    int exit_code;
    std::string line;  // one line the text report holds exactly
    std::vector<Expect> records;
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CheckFindings : public CliTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckFindings, TellsEachFindingExactly) {
    const CheckCase& c = GetParam();
    Write("t.DAT", c.make());
    std::vector<std::string> args = {"check", "t.DAT"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    CliRun text = Kova(args);
    EXPECT_EQ(text.exit_code, c.exit_code) << text.out << text.err;
    std::vector<std::string> lines = Lines(text.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << text.out;

    args.push_back("--json");
    CliRun json = Kova(args);
    EXPECT_EQ(json.exit_code, c.exit_code);
    nlohmann::json document = nlohmann::json::parse(json.out);
    size_t told = document["problems"].size() + document["warnings"].size() + document["notes"].size();
    EXPECT_EQ(told, c.records.size()) << document.dump(2);
    for (const Expect& expect : c.records) {
        bool found = false;
        for (const auto& record : document[expect.array]) {
            int index = record["index"].is_null() ? -1 : record["index"].get<int>();
            if (record["kind"] != expect.kind || index != expect.index) continue;
            found = true;
            EXPECT_EQ(record["offset"], expect.offset) << expect.kind;
            EXPECT_EQ(record[expect.field], expect.value) << expect.kind << " " << expect.field;
            if (index >= 0) {
                EXPECT_EQ(record["name"].get<std::string>().substr(0, 6), "t_00" + std::to_string(index) + ".");
            }
        }
        EXPECT_TRUE(found) << expect.array << " " << expect.kind << " " << expect.index << "\n" << document.dump(2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CheckFindings,
    ::testing::Values(
        CheckCase{"sound", [] { return Plain(); }, {}, 0, "2 entries, 0 problems", {}},
        CheckCase{"empty", [] { return BuildArchive({}); }, {}, 0, "0 entries, 0 problems", {}},
        CheckCase{"magic_alone", [] { return ToBytes("KOVA"); }, {}, 1,
                  "t.DAT: the file is cut inside the header: the header holds 4 of its 24 bytes",
                  {{"problems", "header_cut", -1, 4, "held", 4}}},
        CheckCase{"header_cut_at_20",
                  [] {
                      Bytes a = Plain();
                      a.resize(20);
                      return a;
                  },
                  {}, 1, "t.DAT: the file is cut inside the header: the header holds 20 of its 24 bytes",
                  {{"problems", "header_cut", -1, 20, "held", 20}}},
        CheckCase{"index_cut",
                  [] {
                      Bytes a = Plain();
                      a.resize(36);
                      return a;
                  },
                  {}, 1,
                  "t.DAT: the file is cut inside the index: the index holds 1 of its 2 records (it starts at byte "
                  "24; 4 bytes of it are missing)",
                  {{"problems", "index_cut", -1, 24, "records_held", 1}}},
        CheckCase{"cut_short",
                  [] {
                      Bytes a = Plain();
                      a.resize(66);
                      return a;
                  },
                  {}, 1,
                  "t.DAT: the file is cut short: the archive's header gives 70 bytes, the file holds 66; the missing "
                  "bytes read as zero",
                  {{"problems", "cut_short", -1, 66, "missing", 4}, {"problems", "past_end", 1, 52, "end", 70}}},
        CheckCase{"record_shrunk_leaves_a_gap",
                  [] {
                      Bytes a = Plain();
                      SetRecord(a, 1, 14, 52);
                      return a;
                  },
                  {}, 1, "t.DAT: entry 1 (t_001.DAT): bytes 66 to 70 (4 bytes) after its stored bytes belong to no entry",
                  {{"problems", "gap", 1, 66, "length", 4}}},
        CheckCase{"bytes_inserted_between_entries",
                  [] {
                      Bytes a = Plain();
                      a.insert(a.begin() + 52, {7, 7, 7});
                      SetRecord(a, 1, 18, 55);
                      PutLe32(a, 4, 73);
                      PutLe32(a, 12, GetLe32(a, 12) + 3);
                      return a;
                  },
                  {}, 1, "t.DAT: entry 0 (t_000.DAT): bytes 52 to 55 (3 bytes) after its stored bytes belong to no entry",
                  {{"problems", "gap", 0, 52, "length", 3}}},
        CheckCase{"bytes_after_the_archive",
                  [] {
                      Bytes a = Plain();
                      Append(a, Bytes(16, 0));
                      return a;
                  },
                  {}, 1, "t.DAT: 16 bytes after the archive's end at byte 70 belong to no entry",
                  {{"problems", "trailing_bytes", -1, 70, "length", 16}}},
        CheckCase{"padding_allowed",
                  [] {
                      Bytes a = Plain();
                      Append(a, Bytes(16, 0));
                      return a;
                  },
                  {"--allow", "trailing_bytes"}, 0, "t.DAT: note: 16 bytes after the archive's end at byte 70 belong to no entry",
                  {{"notes", "trailing_bytes", -1, 70, "length", 16}}},
        CheckCase{"stored_bytes_after_the_closing_command",
                  [] { return Plain(CodedEntry(1, 8, {0x42, 'x', 0x03, 'a', 'b', 'c', 0x00, 0x55})); }, {}, 1,
                  "t.DAT: entry 0 (t_000.DAT): its output is full (8 bytes) at stored byte 11 of 13; 1 stored byte "
                  "after it is unused",
                  {{"problems", "unused_bytes", 0, 51, "unused", 1}}},
        CheckCase{"stored_size_raised_into_the_next",
                  [] {
                      Bytes a = Plain();
                      SetRecord(a, 0, 14, 40);
                      return a;
                  },
                  {}, 1,
                  "t.DAT: entry 0 (t_000.DAT): its output is full (8 bytes) at stored byte 11 of 14; 2 stored bytes "
                  "after it are unused",
                  {{"problems", "overlap", 0, 40, "other", 1},
                   {"problems", "unused_bytes", 0, 51, "unused", 2},
                   {"problems", "overlap", 1, 52, "other", 0}}},
        CheckCase{"end_command_before_the_size",
                  [] { return Plain(CodedEntry(1, 10, {0x42, 'x', 0x00, 0x03, 'a', 'b', 'c'})); }, {}, 1,
                  "t.DAT: entry 0 (t_000.DAT): its coded stream stops after 5 of its 10 bytes (5 missing): its end "
                  "command comes at stored byte 7; 4 stored bytes after it are unused",
                  {{"problems", "stream_ends_early", 0, 47, "unused", 4}}},
        CheckCase{"input_runs_out",
                  [] { return Plain(CodedEntry(1, 10, {0x42, 'x', 0x03, 'a'})); }, {}, 1,
                  "t.DAT: entry 0 (t_000.DAT): its coded stream stops after 6 of its 10 bytes (4 missing): its stored "
                  "bytes run out (or end inside a command) at stored byte 9",
                  {{"problems", "stream_ends_early", 0, 49, "missing", 4}}},
        CheckCase{"copy_before_the_start",
                  [] { return Plain(CodedEntry(2, 10, {0x41, 'x', 0xC0, 0x00, 0x00})); }, {}, 1,
                  "t.DAT: entry 0 (t_000.DAT): a back copy at output byte 4 of 10 reaches before the start of the "
                  "output (6 bytes missing); 1 stored byte after it is unused",
                  {{"problems", "copy_before_start", 0, 49, "written", 4}}},
        CheckCase{"impossible_size",
                  [] { return Plain(CodedEntry(1, 131071, {0xBF, 0xFF, 0xFF, 'a', 'b'})); }, {}, 1,
                  "t.DAT: entry 0 (t_000.DAT): it declares 131071 unpacked bytes, but its 10 stored bytes can give at "
                  "most 131070",
                  {{"problems", "impossible_size", 0, 40, "most", 131070}}},
        CheckCase{"shared_range_is_information",
                  [] {
                      Bytes a = BuildArchive({Closed(), {}});
                      SetRecord(a, 1, 12, 40);
                      return a;
                  },
                  {}, 0,
                  "t.DAT: note: entry 0 (t_000.DAT): its stored bytes (bytes 40 to 52) are shared by 1 more entry: 1; "
                  "a writer may do that on purpose",
                  {{"notes", "shared_range", 0, 40, "length", 12}}},
        CheckCase{"same_start_other_length_overlaps",
                  [] {
                      Bytes a = BuildArchive({Closed(), {}});
                      SetRecord(a, 1, 6, 40);
                      return a;
                  },
                  {}, 1, "t.DAT: entry 1 (t_001.DAT): its stored bytes, from byte 40, overlap entry 0 (bytes 40 to 52)",
                  {{"problems", "overlap", 0, 40, "other", 1},
                   {"problems", "overlap", 1, 40, "other", 0},
                   {"problems", "stream_ends_early", 1, 46, "missing", 8}}},
        CheckCase{"bitmap_file_size", [] { return Plain(Bitmap(65)); }, {}, 0,
                  "t.DAT: warning: entry 0 (t_000.BMP): its bitmap header gives a file size of 65 bytes; the entry "
                  "holds 64",
                  {{"warnings", "bmp_file_size", 0, 40, "value", 65}}},
        CheckCase{"bitmap_file_size_strict", [] { return Plain(Bitmap(65)); }, {"--strict"}, 1,
                  "t.DAT: entry 0 (t_000.BMP): its bitmap header gives a file size of 65 bytes; the entry holds 64",
                  {{"problems", "bmp_file_size", 0, 40, "value", 65}}},
        CheckCase{"wave_data_past_the_entry", [] { return Plain(Wave(30)); }, {}, 0,
                  "t.DAT: warning: entry 0 (t_000.WAV): its data chunk (at byte 36) ends at byte 74, past the entry's "
                  "64 bytes",
                  {{"warnings", "wav_data_size", 0, 40, "value", 74}}},
        CheckCase{"song_tracks_do_not_add_up", [] { return Plain(Song(2)); }, {}, 0,
                  "t.DAT: warning: entry 0 (t_000.MID): its header gives 2 tracks, its chunks hold 1",
                  {{"warnings", "mid_track_count", 0, 40, "value", 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Write a manifest, damage one literal byte (which leaves the archive
// perfectly sound to any walk), and check names the entry.
TEST_F(CliTest, ManifestRoundTripNamesTheChangedEntry) {
    Bytes archive = Plain(CodedEntry(1, 8, {0x42, 'x', 0x03, 'a', 'b', 'c', 0x00}));
    Write("t.DAT", archive);
    Write("u.DAT", BuildArchive({ToBytes("another archive")}));
    CliRun manifest = Kova({"list", "--hash", "--json", "t.DAT", "u.DAT"});
    ASSERT_EQ(manifest.exit_code, 0) << manifest.err;
    Write("m.json", ToBytes(manifest.out));
    EXPECT_EQ(Kova({"check", "--manifest", "m.json", "t.DAT", "u.DAT"}).exit_code, 0);

    // Moved: found by its SHA-256. Left out: named.
    Write("moved.DAT", archive);
    CliRun moved = Kova({"check", "--manifest", "m.json", "moved.DAT"});
    EXPECT_EQ(moved.exit_code, 1);
    EXPECT_EQ(Lines(moved.out), (std::vector<std::string>{
                                    "u.DAT: the manifest holds this archive (1 entry), the command line does not",
                                    "2 entries, 1 problem"}));

    archive[40 + 5 + 4] ^= 0x20;  // 'a' of the literal
    Write("t.DAT", archive);
    EXPECT_EQ(Kova({"check", "t.DAT"}).exit_code, 0) << "no walk can see it";
    CliRun changed = Kova({"check", "--manifest", "m.json", "t.DAT", "u.DAT", "--json"});
    EXPECT_EQ(changed.exit_code, 1);
    nlohmann::json documents = nlohmann::json::parse(changed.out);
    ASSERT_EQ(documents[0]["problems"].size(), 1u) << changed.out;
    EXPECT_EQ(documents[0]["problems"][0]["kind"], "content_changed");
    EXPECT_EQ(documents[0]["problems"][0]["index"], 0);
    EXPECT_EQ(documents[0]["problems"][0]["name"], "t_000.DAT");
    EXPECT_EQ(documents[1]["problems"].size(), 0u);
}

}  // namespace
}  // namespace kova::testing
