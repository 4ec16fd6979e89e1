// Packing as modders use it: files in, an archive out that the plug-in reads
// back byte for byte; extract, edit, pack again; replace in place.
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/workload.h"

namespace kova::testing {
namespace {

// Content of every shape an archive holds, and the first bytes that
// collide with the coded methods' marks.
std::vector<std::pair<std::string, Bytes>> Contents() {
    Bytes pcm8(20000), noise(5000);
    for (size_t k = 0; k < pcm8.size(); ++k) pcm8[k] = static_cast<uint8_t>(128 + 100 * ((k / 40) % 2 ? 1 : -1) * (k % 7) / 7);
    uint32_t state = 7;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    return {
        {"bitmap.BMP", workload::SampleBitmap(320, 200, 3)},
        {"wave16.WAV", workload::SampleWave(30000, 4)},
        {"wave8.WAV", pcm8},
        {"song.MID", workload::SampleMidi(5)},
        {"notes.txt", ToBytes("Harbour level\nTiles: 32x16\nSpawn: 4,7\nHarbour level again\n")},
        {"noise.bin", noise},
        {"one.bin", {0x42}},
        {"empty.bin", {}},
        {"starts01.bin", {0x01, 0x01, 0x01, 0x02}},
        {"starts02.bin", {0x02, 'x'}},
        {"starts81.bin", {0x81}},
        {"starts82.bin", {0x82, 0x82, 0x82, 0x82, 0x82, 0x82}},
    };
}

class PackTest : public CliTest {};

TEST_F(PackTest, EveryMethodAndStrengthReadsBackExactlyThroughThePlugin) {
    std::vector<std::string> files;
    for (const auto& [name, content] : Contents()) files.push_back(Write(name, content));
    for (std::vector<std::string> options : {std::vector<std::string>{}, {"--best"}, {"--method", "1"},
                                             {"--method", "2", "--best"}}) {
        std::vector<std::string> args = {"pack", Path("new.DAT")};
        args.insert(args.end(), files.begin(), files.end());
        args.insert(args.end(), options.begin(), options.end());
        std::string what = options.empty() ? "default" : options.back();
        CliRun packed = Kova(args);
        ASSERT_EQ(packed.exit_code, 0) << what << ": " << packed.err;
        std::filesystem::remove_all(scratch / "out");
        CliRun extracted = Kova({"extract", Path("new.DAT"), "-o", Path("out"), "-q"});
        ASSERT_EQ(extracted.exit_code, 0) << what << ": " << extracted.err;
        std::vector<std::string> names = FilesIn(scratch / "out");
        ASSERT_EQ(names.size(), files.size()) << what;
        for (size_t k = 0; k < files.size(); ++k) {
            EXPECT_EQ(ReadFileBytes((scratch / "out" / names[k]).string()), ReadFileBytes(files[k]))
                << what << ": " << files[k] << " came back as " << names[k];
        }
    }
}

TEST_F(PackTest, StoredKeepsContentAsItIsAndBestIsNeverLarger) {
    Bytes bitmap = workload::SampleBitmap(64, 64, 9);
    Write("a.BMP", bitmap);
    ASSERT_EQ(Kova({"pack", Path("stored.DAT"), Path("a.BMP"), "--method", "stored", "-q"}).exit_code, 0);
    Bytes stored = ReadFileBytes(Path("stored.DAT"));
    ASSERT_EQ(stored.size(), 32 + bitmap.size());
    EXPECT_TRUE(std::equal(bitmap.begin(), bitmap.end(), stored.begin() + 32));
    ASSERT_EQ(Kova({"pack", Path("quick.DAT"), Path("a.BMP"), "-q"}).exit_code, 0);
    ASSERT_EQ(Kova({"pack", Path("best.DAT"), Path("a.BMP"), "--best", "-q"}).exit_code, 0);
    EXPECT_LE(ReadFileBytes(Path("best.DAT")).size(), ReadFileBytes(Path("quick.DAT")).size());
    EXPECT_LT(ReadFileBytes(Path("quick.DAT")).size(), stored.size());
}

TEST_F(PackTest, ExtractEditPackChangesOnlyTheEditedEntry) {
    ASSERT_EQ(Kova({"extract", SampleArchivePath(), "-o", Path("d"), "-q"}).exit_code, 0);
    Write("d/.hidden", ToBytes("skipped"));
    Write("d/sample_003.DAT~", ToBytes("skipped too"));
    Bytes edited = ToBytes("an edited readme");
    Write("d/sample_003.DAT", edited);
    CliRun run = Kova({"pack", Path("new.DAT"), Path("d")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("new_003.DAT"), std::string::npos) << "names as the plug-in lists them:\n" << run.out;
    ASSERT_EQ(Kova({"extract", Path("new.DAT"), "-o", Path("e"), "-q"}).exit_code, 0);
    std::vector<std::string> before = FilesIn(scratch / "d"), after = FilesIn(scratch / "e");
    ASSERT_EQ(after.size(), 6u);
    for (size_t k = 0; k < after.size(); ++k) {
        std::string original = "sample_00" + std::to_string(k) + after[k].substr(after[k].find('.'));
        EXPECT_EQ(ReadFileBytes((scratch / "e" / after[k]).string()),
                  ReadFileBytes((scratch / "d" / original).string())) << after[k];
    }
}

// The stored bytes of entry i, as the archive's index places them.
Bytes StoredBytes(const Bytes& archive, uint32_t i) {
    uint32_t size = GetLe32(archive, 24 + 8 * i), offset = GetLe32(archive, 28 + 8 * i);
    return Bytes(archive.begin() + offset, archive.begin() + offset + size);
}

TEST_F(PackTest, ReplaceCarriesOtherEntriesOverVerbatimAndCanWorkInPlace) {
    Bytes original = ReadFileBytes(SampleArchivePath());
    std::string archive = Write("game.DAT", original);
    Write("new.WAV", workload::SampleWave(5000, 1));
    CliRun run = Kova({"replace", archive, "game_001.WAV=" + Path("new.WAV"), "4=" + Path("new.WAV"), "-o",
                       Path("patched.DAT")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(archive), original) << "-o leaves the archive alone";
    Bytes patched = ReadFileBytes(Path("patched.DAT"));
    for (uint32_t i : {0u, 2u, 3u, 5u}) EXPECT_EQ(StoredBytes(patched, i), StoredBytes(original, i)) << i;
    CliRun cat = Kova({"cat", Path("patched.DAT"), "4"});
    EXPECT_TRUE(cat.out == std::string(reinterpret_cast<const char*>(workload::SampleWave(5000, 1).data()),
                                       workload::SampleWave(5000, 1).size()));

    ASSERT_EQ(Kova({"replace", archive, "1=" + Path("new.WAV"), "4=" + Path("new.WAV"), "-q"}).exit_code, 0);
    EXPECT_EQ(ReadFileBytes(archive), patched) << "in place gives what -o gave";
    EXPECT_EQ(FilesIn(scratch).size(), 3u) << "no temporary file is left beside it";
}

TEST_F(PackTest, AFailedPackLeavesAnExistingArchiveUntouched) {
    Bytes before = ToBytes("my precious archive");
    Write("keep.DAT", before);
    Write("x.bin", {0x02, 0x00});
    EXPECT_EQ(Kova({"pack", Path("keep.DAT"), Path("x.bin"), "--method", "stored"}).exit_code, 1);
    EXPECT_EQ(Kova({"pack", Path("keep.DAT"), Path("missing.bin")}).exit_code, 1);
    EXPECT_EQ(ReadFileBytes(Path("keep.DAT")), before);
    EXPECT_EQ(FilesIn(scratch).size(), 2u) << "no temporary file is left";
}

// The bar waits a second before it is drawn: a quick pack leaves no trace of
// it, a slow one (here an input that arrives late) shows its rate.
TEST_F(PackTest, ProgressBarOnlyForPacksOverASecond) {
    Write("a_000.BMP", workload::SampleBitmap(64, 64, 1));
    CliRun quick;
    if (!RunKovaOnTerminal({"pack", "quick.DAT", "a_000.BMP"}, scratch, quick)) GTEST_SKIP() << "script(1) is not installed";
    ASSERT_EQ(quick.exit_code, 0) << quick.out;
    EXPECT_EQ(quick.out.find("entries,"), std::string::npos) << quick.out;

    std::string fifo = Path("late.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Held open for writing from the start, so the reader waits for the bytes.
    int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    std::thread late([writer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        EXPECT_EQ(write(writer, "late bytes", 10), 10);
        close(writer);
    });
    CliRun slow;
    RunKovaOnTerminal({"pack", "slow.DAT", "a_000.BMP", "late.bin"}, scratch, slow);
    late.join();
    ASSERT_EQ(slow.exit_code, 0) << slow.out;
    EXPECT_NE(slow.out.find("2/2 entries, "), std::string::npos) << slow.out;
    EXPECT_NE(slow.out.find("/s"), std::string::npos) << slow.out;
    EXPECT_NE(slow.out.find("packed 2 entries into slow.DAT"), std::string::npos) << slow.out;
}

}  // namespace
}  // namespace kova::testing
