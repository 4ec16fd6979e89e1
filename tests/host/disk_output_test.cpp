// Disk output gives an entry's file its name only once it is complete: a
// failed write leaves a file of that name as it was, a link planted at the
// name is replaced rather than written through, and no temporary file is
// left behind either way.
#include <algorithm>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

class DiskOutputTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        archive_ = SampleArchive();
        path_ = WriteArchive("disk1.DAT", archive_);
        ASSERT_EQ(ProbeByPointer("disk1.DAT", archive_), 1);
        out_ = dir_ / "out";
        std::filesystem::create_directories(out_);
    }

    int Extract(unsigned input, size_t index) {
        std::string dest = out_.string();
        bool file = input == kFileInput;
        const char* src = file ? path_.c_str() : reinterpret_cast<const char*>(archive_.data()) + index;
        LONG_PTR len = static_cast<LONG_PTR>(file ? index : archive_.size());
        return Plugin().get_file(src, len, dest.data(), input | kDiskOutput, nullptr, 0);
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    Bytes archive_;
    std::string path_;
    std::filesystem::path out_;
};

TEST_F(DiskOutputTest, AFailedWriteLeavesTheOldFileAsItWas) {
    const Bytes old = ToBytes("the old file, which must survive");
    std::filesystem::path target = out_ / "disk1_002.WAV";
#ifndef _WIN32
    for (unsigned input : {kFileInput, kMemoryInput}) {
        SCOPED_TRACE(input == kFileInput ? "file" : "image");
        WriteFileBytes(target.string(), old);
        // Writes past 16 bytes fail (EFBIG once its signal is ignored).
        rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 16;
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        int result = Extract(input, kCodedWave);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(ReadFileBytes(target.string()), old);
        EXPECT_EQ(Names(), std::vector<std::string>{"disk1_002.WAV"});
    }
    std::filesystem::remove(target);
#endif
    // A directory at the name cannot be replaced by a file.
    std::filesystem::create_directories(target / "inside");
    EXPECT_EQ(Extract(kFileInput, kCodedWave), 1);
    EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));
    EXPECT_EQ(Names(), std::vector<std::string>{"disk1_002.WAV"});
}

#ifndef _WIN32
TEST_F(DiskOutputTest, ALinkAtTheNameIsReplacedNotFollowed) {
    std::filesystem::path victim = dir_ / "victim.txt";
    std::filesystem::path ghost = dir_ / "ghost.txt";
    for (unsigned input : {kFileInput, kMemoryInput}) {
        SCOPED_TRACE(input == kFileInput ? "file" : "image");
        std::filesystem::remove_all(out_);
        std::filesystem::create_directories(out_);
        WriteFileBytes(victim.string(), ToBytes("not the plug-in's"));
        std::filesystem::create_symlink(victim, out_ / "disk1_000.BMP");
        std::filesystem::create_symlink(ghost, out_ / "disk1_005.DAT");  // to nothing yet
        EXPECT_EQ(Extract(input, kStoredBitmap), 0);
        EXPECT_EQ(Extract(input, kStoredOther), 0);
        EXPECT_EQ(ReadFileBytes(victim.string()), ToBytes("not the plug-in's"));
        EXPECT_FALSE(std::filesystem::exists(ghost));
        for (auto [name, index] :
             {std::pair{"disk1_000.BMP", kStoredBitmap}, std::pair{"disk1_005.DAT", kStoredOther}}) {
            EXPECT_FALSE(std::filesystem::is_symlink(out_ / name)) << name;
            EXPECT_EQ(ReadFileBytes((out_ / name).string()), SampleContent()[index]) << name;
        }
        EXPECT_EQ(Names(), (std::vector<std::string>{"disk1_000.BMP", "disk1_005.DAT"}));
    }
}
#endif

}  // namespace
}  // namespace kova::testing
