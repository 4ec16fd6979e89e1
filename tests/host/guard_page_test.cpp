// GetFile with memory input is handed src = image start + index and len,
// and finds the start by looking back for the magic. It trusts the host for
// three things: the image is len bytes and begins with the magic, no other
// magic begins between its start and src, and src lies inside it. Within
// that, no read leaves the image; outside it, no read goes further than len
// bytes from src either way, and the answer is 2 or 3. Unreadable pages
// placed exactly where those limits lie turn any stray read into a crash.
#include "tests/host/guarded_memory.h"
#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

class GuardPageTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        if (!HasGuardPages()) GTEST_SKIP() << "no guard pages in this build";
    }
};

Extraction ExtractAt(const char* src, LONG_PTR len) {
    HLOCAL handle = nullptr;
    Extraction got;
    got.result = Plugin().get_file(src, len, reinterpret_cast<char*>(&handle), kMemoryInput | kMemoryOutput,
                                   nullptr, 0);
    if (handle != nullptr) {
        auto* data = static_cast<const uint8_t*>(Plugin().local_lock(handle));
        got.content.assign(data, data + Plugin().local_size(handle));
        Plugin().local_unlock(handle);
        Plugin().local_free(handle);
    }
    ExpectNothingHeld();
    return got;
}

TEST_F(GuardPageTest, WithinTheContractNoReadLeavesTheImage) {
    // Stored sizes of 75 and 20,299 put "K" and "KO" into the index: first
    // bytes of the magic that the search must pass over.
    std::vector<Bytes> partial_magic;
    for (size_t i = 0; i < 12; ++i) {
        Bytes entry = ToBytes("BM" + std::to_string(i));
        entry.resize(i % 3 == 0 ? 75 : i % 3 == 1 ? 20299 : 5, static_cast<uint8_t>('a' + i));
        partial_magic.push_back(entry);
    }
    struct Case {
        const char* what;
        Bytes image;  // its tail begins no magic
        std::vector<Bytes> contents;
    } cases[] = {
        {"the sample", SampleArchive(), SampleContent()},
        {"\"K\" and \"KO\" in the index", BuildArchive(partial_magic), partial_magic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LONG_PTR len = static_cast<LONG_PTR>(c.image.size());
        size_t count = c.contents.size();
        for (Flush flush : {Flush::kEnd, Flush::kStart}) {
            SCOPED_TRACE(flush == Flush::kEnd ? "against the page after" : "against the page before");
            GuardedBytes guarded(c.image, flush);
            ASSERT_TRUE(guarded.Mapped());
            EXPECT_EQ(List(guarded.At(0), len, kMemoryInput).records.size(), count);
            for (size_t i = 0; i < count; ++i) {
                EntryInfo record;
                std::string name = "x_" + std::to_string(i) + ".DAT";
                EXPECT_EQ(Plugin().get_file_info(guarded.At(0), len, name.c_str(), kMemoryInput, &record), 0);
            }
            // Past the index every src still finds the start, and names an
            // entry that does not exist; a large image is tried up to a
            // little past its index.
            size_t last = c.image.size() < 4096 ? c.image.size() : 24 + 8 * count + 64;
            for (size_t k = 0; k < last; ++k) {
                Extraction got = ExtractAt(guarded.At(k), len);
                ASSERT_EQ(got.result, k < count ? 0 : 3) << "src at " << k;
                if (k < count) {
                    EXPECT_EQ(got.content, c.contents[k]);
                }
            }
        }
    }
}

TEST_F(GuardPageTest, OutsideTheContractReadsStayWithinLenOfSrc) {
    Bytes sample = SampleArchive();
    Bytes headless = sample;
    headless[0] = 'X';
    // A 300-byte image claiming 1000 entries, with another header at byte
    // 100: found first from any src past it, and judged as an image of 300
    // bytes from there.
    Bytes outer = BuildArchive({});
    PutLe32(outer, 4, 24 + 8 * 1000);
    PutLe32(outer, 16, 1000);
    PutLe32(outer, 28, 24 + 8 * 1000);
    outer.resize(300, 'z');
    Bytes nested = outer;
    Bytes inner = BuildArchive({ToBytes("BMok")});
    std::copy(inner.begin(), inner.end(), nested.begin() + 100);
    Bytes nested_claiming = nested;
    std::copy(outer.begin(), outer.begin() + 32, nested_claiming.begin() + 100);
    // An image whose last three bytes begin the magic: from src among them
    // the compare reads up to three bytes past the image.
    Bytes kov_tail = BuildArchive({ToBytes("BMok"), ToBytes("xxKOV")});
    size_t tail = kov_tail.size() - 3;

    struct Case {
        const char* what;
        const Bytes& image;
        Bytes after;  // what follows the image; zeros beyond
        size_t from, to;  // src, counted from the image start
        int result;
    } cases[] = {
        {"src at or past the end", sample, {}, sample.size(), sample.size() + 64, 2},
        {"no magic at the start", headless, {}, 0, headless.size(), 2},
        {"before a second header", nested, {}, 1, 100, 2},
        {"past a second header", nested, {}, 101, 300, 3},
        {"past a second header claiming too much", nested_claiming, {}, 101, 300, 2},
        {"in a tail \"KOV\", zeros after", kov_tail, {}, tail, tail + 3, 3},
        {"in a tail \"KOV\", \"A\" after", kov_tail, ToBytes("Azzzzzzz"), tail, tail + 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint64_t len = c.image.size();
        Bytes around = Concat({Bytes(len, 0), c.image, c.after});
        around.resize(3 * len + 64, 0);
        for (size_t k = c.from; k < c.to; ++k) {
            uint64_t src = len + k;
            for (Flush flush : {Flush::kEnd, Flush::kStart}) {
                GuardedBytes guarded(around, around.size(), src - len + 1, src + len, flush);
                ASSERT_TRUE(guarded.Mapped());
                ASSERT_EQ(ExtractAt(guarded.At(src), static_cast<LONG_PTR>(len)).result, c.result) << "src at " << k;
            }
        }
    }
}

}  // namespace
}  // namespace kova::testing
