// Every request the plug-in makes for memory or a lock can fail. Each one is
// failed in turn, for every export and mode: the result must be the code
// that request's failure means, nothing may be handed out, and the plug-in
// must hold nothing afterwards. Needs the accounting build.
#include <filesystem>
#include <functional>

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

struct Outcome {
    int result;
    HLOCAL handed = nullptr;  // a block the call handed to the host, freed here
};

class FailurePathTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        if (!HasAccounting()) GTEST_SKIP() << "needs the accounting build of the plug-in";
        archive_ = SampleArchive();
        path_ = WriteArchive("disk1.DAT", archive_);
        out_ = (dir_ / "out").string();
        std::filesystem::create_directories(out_);
        ASSERT_EQ(ProbeByPointer(path_, archive_), 1);
    }

    // Fails request 0, 1, 2, ... of `call` until it succeeds: the codes seen
    // on the way must be `codes`, in order. A call that `hands_block` must
    // hand exactly one block over on success.
    void Walk(const char* what, bool hands_block, const std::function<Outcome()>& call, std::vector<int> codes) {
        SCOPED_TRACE(what);
        std::vector<int> seen;
        for (int64_t skip = 0; skip < 32; ++skip) {
            FailRequest(skip);
            Outcome got = call();
            FailRequest(-1);
            if (got.result == 0) {
                EXPECT_EQ(got.handed != nullptr, hands_block);
                ExpectNothingHeld(hands_block ? 1 : 0);
                if (got.handed != nullptr) {
                    EXPECT_EQ(Plugin().local_free(got.handed), nullptr);
                }
                break;
            }
            seen.push_back(got.result);
            EXPECT_EQ(got.handed, nullptr) << "request " << skip;
            ExpectNothingHeld();
        }
        EXPECT_EQ(seen, codes);
    }

    Bytes archive_;
    std::string path_;
    std::string out_;
};

Outcome ListCall(const char* buf, LONG_PTR len, unsigned flag) {
    HLOCAL handle = nullptr;
    int result = Plugin().get_archive_info(buf, len, flag, &handle);
    return {result, handle};
}

Outcome ExtractCall(const char* src, LONG_PTR len, unsigned flag, char* dest) {
    HLOCAL handle = nullptr;
    bool to_memory = (flag & 0x700) != 0;
    int result = Plugin().get_file(src, len, to_memory ? reinterpret_cast<char*>(&handle) : dest, flag, nullptr, 0);
    return {result, handle};
}

// Each failing request, in the order the export makes them:
//   header copy and index (5; extraction reads no index), stored bytes read
//   from a file (5), the host's block (4), locking it (5), locking it again to
//   write a file (1). A listing's window for entry heads is not among them:
//   without it the heads are read one by one.
TEST_F(FailurePathTest, EachFailedRequestGivesItsCodeAndLeavesNothing) {
    const char* image = reinterpret_cast<const char*>(archive_.data());
    LONG_PTR length = static_cast<LONG_PTR>(archive_.size());
    const char* file = path_.c_str();
    EntryInfo record;
    auto lookup = [&](const char* buf, LONG_PTR len, unsigned flag) {
        return Outcome{Plugin().get_file_info(buf, len, "disk1_002.WAV", flag, &record)};
    };

    Walk("list a file", true, [&] { return ListCall(file, 0, kFileInput); }, {5, 5, 4, 5});
    Walk("list an image", true, [&] { return ListCall(image, length, kMemoryInput); }, {4, 5});
    Walk("extract from a file to memory", true, [&] { return ExtractCall(file, kCodedWave, kMemoryOutput, nullptr); },
         {5, 5, 4, 5});
    Walk("extract from an image to memory", true,
         [&] { return ExtractCall(image + kCodedWave, length, 0x101, nullptr); }, {4, 5});
    for (unsigned input : {kFileInput, kMemoryInput}) {
        const char* src = input == kFileInput ? file : image + kCodedWave;
        LONG_PTR len = input == kFileInput ? static_cast<LONG_PTR>(kCodedWave) : length;
        std::vector<int> codes = input == kFileInput ? std::vector<int>{5, 5, 4, 5, 1} : std::vector<int>{4, 5, 1};
        Walk(input == kFileInput ? "extract from a file to disk" : "extract from an image to disk", false, [&] {
            std::error_code ignored;
            std::filesystem::remove_all(out_, ignored);
            std::filesystem::create_directories(out_);
            Outcome got = ExtractCall(src, len, input, out_.data());
            bool written = std::filesystem::exists(std::filesystem::path(out_) / "disk1_002.WAV");
            EXPECT_EQ(written, got.result == 0);
            // Only the entry's file, never a temporary one beside it.
            size_t files = 0;
            for (const auto& ignored_entry : std::filesystem::directory_iterator(out_)) {
                (void)ignored_entry;
                ++files;
            }
            EXPECT_EQ(files, got.result == 0 ? 1u : 0u);
            return got;
        }, codes);
    }

    Walk("look up in a file", false, [&] { return lookup(file, 0, kFileInput); }, {5, 5});
    Walk("look up in an image", false, [&] { return lookup(image, length, kMemoryInput); }, {});
}

}  // namespace
}  // namespace kova::testing
