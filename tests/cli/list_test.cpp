// kova list, as text and as JSON, against the bundled sample and archives
// built for the occasion.
#include <gtest/gtest.h>

#include <cctype>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/cli/cli_runner.h"
#include "tests/support/entry_encoder.h"
#include "tests/tools/sample_content.h"

namespace kova::testing {
namespace {

struct TableRow {
    uint64_t index, packed, unpacked;
    std::string name;
};

std::vector<TableRow> ParseTable(const std::string& out) {
    std::vector<TableRow> rows;
    for (const std::string& line : Lines(out)) {
        std::istringstream fields(line);
        TableRow row;
        fields >> row.index >> row.name >> row.packed >> row.unpacked;
        EXPECT_TRUE(fields && fields.peek() == EOF) << "not an entry line: '" << line << "'";
        rows.push_back(row);
    }
    return rows;
}

std::string SampleName(size_t index, const std::string& extension) {
    char name[32];
    std::snprintf(name, sizeof name, "sample_%03zu.%s", index, extension.c_str());
    return name;
}

TEST_F(CliTest, ListShowsEveryEntryOnALine) {
    CliRun run = Kova({"list", SampleArchivePath()});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<TableRow> rows = ParseTable(run.out);
    std::vector<SampleFile> files = SampleFiles();
    ASSERT_EQ(rows.size(), files.size()) << run.out;
    Bytes archive = ReadFileBytes(SampleArchivePath());
    for (size_t k = 0; k < files.size(); ++k) {
        EXPECT_EQ(rows[k].index, k);
        EXPECT_EQ(rows[k].name, SampleName(k, files[k].extension)) << files[k].about;
        EXPECT_EQ(rows[k].packed, GetLe32(archive, 24 + 8 * k));
        EXPECT_EQ(rows[k].unpacked, files[k].content.size()) << files[k].about;
        if (files[k].packing == Packing::kStored) {
            EXPECT_EQ(rows[k].packed, rows[k].unpacked);
        }
    }
}

TEST_F(CliTest, ListJsonIsOneDocumentWithEveryEntry) {
    CliRun run = Kova({"list", SampleArchivePath(), "--json"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    nlohmann::json document = nlohmann::json::parse(run.out);  // throws on anything but one document
    EXPECT_EQ(document["archive"], SampleArchivePath());
    ASSERT_TRUE(document["entries"].is_array());
    std::vector<SampleFile> files = SampleFiles();
    ASSERT_EQ(document["entries"].size(), files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        const nlohmann::json& entry = document["entries"][k];
        EXPECT_EQ(entry.size(), 7u) << entry.dump();
        EXPECT_EQ(entry["index"], k);
        std::string kind = files[k].extension;
        for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(entry["kind"], kind);
        EXPECT_TRUE(entry["method"] == 1 || entry["method"] == 2 || entry["method"] == "stored") << entry.dump();
        EXPECT_EQ(entry["name"], SampleName(k, files[k].extension));
        EXPECT_EQ(entry["unpacked_size"], files[k].content.size());
        EXPECT_TRUE(entry["packed_size"].is_number_unsigned());
    }
}

TEST_F(CliTest, ListJsonOfAnEmptyArchiveHasNoEntries) {
    std::string path = Write("nothing.DAT", BuildArchive({}));
    CliRun run = Kova({"list", "--json", path});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_TRUE(document["entries"].is_array() && document["entries"].empty()) << run.out;

    CliRun text = Kova({"list", path});
    EXPECT_EQ(text.exit_code, 0);
    EXPECT_EQ(text.out, "");
}

// Names carry the base name of the archive being listed, whatever it is.
TEST_F(CliTest, NamesFollowTheArchivesFileName) {
    struct Case {
        const char* file;
        const char* first_name;
    };
    const Case cases[] = {{"disk1.DAT", "disk1_000.BMP"}, {"save.dat.bak", "save_000.BMP"}, {"noext", "noext_000.BMP"}};
    Bytes sample = ReadFileBytes(SampleArchivePath());
    for (const Case& c : cases) {
        std::string path = Write(c.file, sample);
        CliRun run = Kova({"list", path});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        std::vector<TableRow> rows = ParseTable(run.out);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].name, c.first_name) << c.file;
    }
}

TEST_F(CliTest, ListFindsAnArchiveAtAnOffset) {
    Bytes file(512, 0xA5);  // something else first: a loader, a stub
    Bytes archive = BuildArchive({EncodeEntry(2, ToBytes("RIFF....WAVEfmt and so on")), StoreEntry(ToBytes("MThd"))});
    file.insert(file.end(), archive.begin(), archive.end());
    std::string path = Write("bundle.bin", file);

    for (const char* offset : {"512", "0x200"}) {
        CliRun run = Kova({"list", "--offset", offset, path});
        ASSERT_EQ(run.exit_code, 0) << offset << ": " << run.err;
        std::vector<TableRow> rows = ParseTable(run.out);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].name, "bundle_000.WAV");
        EXPECT_EQ(rows[1].name, "bundle_001.DAT");
    }
    EXPECT_EQ(Kova({"list", path}).exit_code, 1) << "without the offset it is not an archive";
}

}  // namespace
}  // namespace kova::testing
