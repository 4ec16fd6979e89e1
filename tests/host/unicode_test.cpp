// The Unicode exports against the ANSI ones, on archives in folders whose
// names the ANSI code page may lack. Under Wine these run against kova.sph
// with the system's own CreateFileW and movable blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

using WString = std::basic_string<WCHAR>;

WString WideOf(const std::u16string& text) { return WString(text.begin(), text.end()); }
WString WideOf(const std::filesystem::path& path) { return WideOf(path.u16string()); }
WString Widen(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }
WString NameOf(const EntryInfoW& record) {
    const WCHAR* end = std::find(record.filename, record.filename + 200, WCHAR{0});
    return WString(record.filename, end);
}

// What the ANSI family is to call a UTF-16 base name: the code page's
// spelling, '?' for what it lacks (UTF-8 on non-Windows systems).
std::string AnsiFormOf(const std::u16string& text) {
#ifdef _WIN32
    WString wide = WideOf(text);
    char out[256] = {};
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, out, sizeof out, "?", nullptr);
    return out;
#else
    return std::filesystem::path(text).string();
#endif
}

Bytes Head(const Bytes& image) {
    Bytes head = image;
    head.resize(kProbeHeadSize);
    return head;
}

struct ListingW {
    int result = -1;
    std::vector<EntryInfoW> records;
};

ListingW ListW(const void* buf, LONG_PTR len, unsigned flag) {
    ListingW listing;
    HLOCAL list = nullptr;
    listing.result = Plugin().get_archive_info_w(static_cast<const WCHAR*>(buf), len, flag, &list);
    if (list == nullptr) return listing;
    ListBlockOf<EntryInfoW> block = ReadListBlock<EntryInfoW>(Plugin(), list);
    EXPECT_TRUE(block.closed);
    listing.records = block.records;
    Plugin().local_free(list);
    return listing;
}

// GetFileW into a block; the content, or nothing on failure.
Bytes ExtractW(const void* src, LONG_PTR len, unsigned flag, int expected = 0) {
    HLOCAL block = nullptr;
    EXPECT_EQ(Plugin().get_file_w(static_cast<const WCHAR*>(src), len, reinterpret_cast<WCHAR*>(&block),
                                  flag | kMemoryOutput, nullptr, 0),
              expected);
    Bytes content;
    size_t size = 0;
    if (block != nullptr) TakeBlockContent(Plugin(), block, content, size);
    return content;
}

class UnicodeTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_TRUE(Plugin().HasWide()) << "the plug-in lacks the Unicode exports";
    }

    std::filesystem::path WriteIn(const std::u16string& folder, const std::u16string& stem) {
        std::filesystem::path path = dir_ / folder / (stem + u".DAT");
        std::filesystem::create_directories(path.parent_path());
        Bytes image = SampleArchive();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                     static_cast<std::streamsize>(image.size()));
        return path;
    }
};

TEST_F(UnicodeTest, BothFamiliesAgreeOnEveryPath) {
    struct Case {
        const char* label;
        std::u16string folder, stem;
    };
    const Case cases[] = {
        {"ASCII", u"plain", u"disk1"},
        {"Cyrillic", u"Игры", u"Диск"},
        {"Japanese", u"ゲーム", u"ディスク1"},
    };
    const Bytes image = SampleArchive();
    const Bytes head = Head(image);
    const DWORD_PTR probe = reinterpret_cast<DWORD_PTR>(head.data());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::filesystem::path path = WriteIn(c.folder, c.stem);
        const WString wide_path = WideOf(path);
        ASSERT_EQ(Plugin().is_supported_w(wide_path.c_str(), probe), 1);

        // The Unicode family: file and memory input give the same records.
        ListingW from_file = ListW(wide_path.c_str(), 0, kFileInput);
        ListingW from_memory = ListW(image.data(), static_cast<LONG_PTR>(image.size()), kMemoryInput);
        ASSERT_EQ(from_file.result, 0);
        ASSERT_EQ(from_memory.result, 0);
        ASSERT_EQ(from_file.records.size(), size_t{kSampleCount});
        ASSERT_EQ(from_memory.records.size(), size_t{kSampleCount});
        EXPECT_EQ(std::memcmp(from_file.records.data(), from_memory.records.data(),
                              kSampleCount * sizeof(EntryInfoW)),
                  0);

        // The ANSI family, told the same probe, names from the ANSI form and
        // agrees on everything else.
        const std::string ansi_base = AnsiFormOf(c.stem);
        Listing ansi = ListImage(image);
        ASSERT_EQ(ansi.result, 0);
        ASSERT_EQ(ansi.records.size(), size_t{kSampleCount});
        for (size_t i = 0; i < kSampleCount; ++i) {
            SCOPED_TRACE(i);
            const EntryInfoW& w = from_file.records[i];
            const EntryInfo& a = ansi.records[i];
            std::string ansi_name = kova::testing::NameOf(a);
            ASSERT_EQ(ansi_name.compare(0, ansi_base.size(), ansi_base), 0) << ansi_name;
            EXPECT_EQ(NameOf(w), WideOf(c.stem) + Widen(ansi_name.substr(ansi_base.size())));
            EXPECT_EQ(std::memcmp(w.method, a.method, sizeof a.method), 0);
            EXPECT_EQ(w.position, a.position);
            EXPECT_EQ(w.packed_size, a.packed_size);
            EXPECT_EQ(w.unpacked_size, a.unpacked_size);
            EXPECT_EQ(w.path[0], 0);

            EntryInfoW looked_up = {};
            ASSERT_EQ(Plugin().get_file_info_w(wide_path.c_str(), 0, w.filename, 0, &looked_up), 0);
            EXPECT_EQ(std::memcmp(&looked_up, &w, sizeof w), 0);

            const Bytes& content = SampleContent()[i];
            if (content.empty() || i == kCodedCutShort) continue;
            EXPECT_EQ(ExtractW(wide_path.c_str(), static_cast<LONG_PTR>(i), kFileInput), content);
            EXPECT_EQ(ExtractW(image.data() + i, static_cast<LONG_PTR>(image.size()), kMemoryInput), content);

            // Disk output, from either input, into a folder named in the
            // same script, under the Unicode name.
            const std::filesystem::path out = path.parent_path() / (u"выход-出力-" + c.stem);
            std::filesystem::create_directories(out);
            WString dest = WideOf(out);
            const WString name = NameOf(w);
            const std::filesystem::path target = out / std::u16string(name.begin(), name.end());
            for (unsigned input : {kFileInput, kMemoryInput}) {
                std::filesystem::remove(target);
                const void* src = input == kFileInput ? static_cast<const void*>(wide_path.c_str()) : image.data() + i;
                LONG_PTR len = input == kFileInput ? static_cast<LONG_PTR>(i) : static_cast<LONG_PTR>(image.size());
                ASSERT_EQ(Plugin().get_file_w(static_cast<const WCHAR*>(src), len, dest.data(), input | kDiskOutput,
                                              nullptr, 0),
                          0);
                std::ifstream written(target, std::ios::binary);
                EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(written), {}), content);
            }
        }
    }
    ExpectNothingHeld();
}

// The UTF-16 base name is cut at 31 units, never between the halves of a
// surrogate pair.
TEST_F(UnicodeTest, BaseNameCutKeepsCharactersWhole) {
    const std::u16string smile = u"\U0001F600";
    struct Case {
        std::u16string stem, base;
    };
    const Case cases[] = {
        {std::u16string(29, u'a') + smile, std::u16string(29, u'a') + smile},
        {std::u16string(30, u'a') + smile + u"b", std::u16string(30, u'a')},
        {std::u16string(40, u'Ж'), std::u16string(31, u'Ж')},
    };
    const Bytes image = SampleArchive();
    const Bytes head = Head(image);
    for (const Case& c : cases) {
        WString path = WideOf(u"C:\\x\\" + c.stem + u".DAT");
        ASSERT_EQ(Plugin().is_supported_w(path.c_str(), reinterpret_cast<DWORD_PTR>(head.data())), 1);
        ListingW listing = ListW(image.data(), static_cast<LONG_PTR>(image.size()), kMemoryInput);
        ASSERT_EQ(listing.result, 0);
        EXPECT_EQ(NameOf(listing.records[0]), WideOf(c.base) + Widen("_000.BMP"));
    }
}

// Only ASCII digits make a number field: a UTF-16 unit beyond ASCII is no
// digit, whatever its low byte.
TEST_F(UnicodeTest, LookupReadsTheNumberFieldOfAWideName) {
    struct Case {
        std::u16string name;
        int result;
        ULONG_PTR position;
    };
    const Case cases[] = {
        {u"ディスク_005.DAT", 0, 5},
        {u"ゲーム\\x_001.WAV", 0, 1},
        {u"x_\u0131.BMP", 2, 0},  // low byte '1'
        {u"x_\u0665.BMP", 2, 0},  // a digit of another script
        {u"x_\u3000.BMP", 2, 0},  // low byte 0: not the end of the name
    };
    const Bytes image = SampleArchive();
    for (const Case& c : cases) {
        WString name = WideOf(c.name);
        EntryInfoW record = {};
        EXPECT_EQ(Plugin().get_file_info_w(reinterpret_cast<const WCHAR*>(image.data()),
                                           static_cast<LONG_PTR>(image.size()), name.c_str(), kMemoryInput, &record),
                  c.result);
        EXPECT_EQ(record.position, c.position);
    }
}

TEST_F(UnicodeTest, PluginInfoCountsWideCharacters) {
    struct Case {
        int infono, buflen, result;
        const char* text;  // nullptr: buf untouched
    };
    const Case cases[] = {
        {0, 5, 4, "00AM"}, {0, 3, 2, "00"}, {1, 1, 0, ""},
        {3, 64, 32, "COBALT WHARF Archive File(*.DAT)"}, {0, 0, 0, nullptr}, {4, 64, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.infono * 1000 + c.buflen);
        WCHAR buf[64];
        std::fill(std::begin(buf), std::end(buf), WCHAR{0x2A2A});
        EXPECT_EQ(Plugin().get_plugin_info_w(c.infono, buf, c.buflen), c.result);
        if (c.text == nullptr) {
            EXPECT_EQ(buf[0], 0x2A2A);
        } else {
            EXPECT_EQ(WString(buf), Widen(c.text));
            EXPECT_EQ(buf[c.result + 1], 0x2A2A);  // nothing past the terminator
        }
    }
}

}  // namespace
}  // namespace kova::testing
