// The base name (with the native '/' and the length cuts), GetPluginInfo's
// cut rules and NULL buffers, and the probe's side
// effect on the base name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "plugin/base_name.h"
#include "plugin/exports.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

TEST(BaseName, Of) {
    struct Case {
        std::string path;
        std::string base;
    };
    const Case cases[] = {
        {"C:\\games\\disk1.DAT", "disk1"},
        {"disk1.dat.bak", "disk1"},
        {"noext", "noext"},
        {"dir\\", ""},
        {".DAT", ".DAT"},  // position 0 is never looked at
        {"a.b\\c.d.e", "c"},
        {"\\", "\\"},
        {"\\x.DAT", "\\x"},
        {"..DAT", "."},
        {"a.", "a"},
        {"", ""},
        {"dir\\.hidden", ""},
        {"dir\\\\", ""},
        {"C:disk2.DAT", "C:disk2"},  // ':' is an ordinary character
        // The native build also splits on '/'.
        {"/", "/"},
        {"dir/", ""},
        {"/home/u/disk3.DAT", "disk3"},
        {"a\\b/c.d", "c"},
        {"C:/x.y\\z", "z"},
        // Base names cut to 31 characters, paths to 255.
        {std::string(31, 'n') + ".DAT", std::string(31, 'n')},
        {std::string(40, 'n') + ".DAT", std::string(31, 'n')},
        {"d\\" + std::string(32, 'n'), std::string(31, 'n')},
        {std::string(252, 'a') + "\\xyz.DAT", "xy"},
        {std::string(250, 'a') + "\\abcd.DAT", "abcd"},
        {std::string(300, 'a') + "\\b.DAT", std::string(31, 'a')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::string(BaseNameOf(c.path.c_str()).text), c.base) << '"' << c.path.substr(0, 40) << '"';
    }
    EXPECT_STREQ(BaseNameOf(nullptr).text, "");
}

// Both forms, whichever family probed: here the ANSI code page is UTF-8.
TEST(BaseName, KeptInBothForms) {
    const std::u16string smile = u"\U0001F600";
    struct Case {
        const char* label;
        std::u16string wide_path;  // empty: probed through the ANSI family
        std::string ansi_path;
        std::u16string wide;
        std::string ansi;
    };
    const Case cases[] = {
        {"UTF-16 probe", u"C:\\Игры\\Диск.DAT", "", u"Диск", "Диск"},
        {"ANSI form cut between characters", std::u16string(40, u'Ж'), "", std::u16string(31, u'Ж'),
         "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ"},
        {"a pair never halved", std::u16string(30, u'a') + smile, "", std::u16string(30, u'a'), std::string(30, 'a')},
        {"a lone surrogate", std::u16string(u"x\xD800.DAT"), "", std::u16string(u"x\xD800"), "x?"},
        {"ANSI probe", u"", "/home/u/ディスク.DAT", u"ディスク", "ディスク"},
        {"ANSI probe, a stray byte", u"", "d\xFF.DAT", u"d\uFFFD", "d\xFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        BaseName name = c.wide_path.empty() ? BaseNameOf(c.ansi_path.c_str()) : BaseNameOf(c.wide_path.c_str());
        EXPECT_EQ(std::u16string(name.wide), c.wide);
        EXPECT_EQ(std::string(name.text), c.ansi);
    }
}

TEST(BaseName, RememberedNameIsTheModules) {
    RememberBaseName("C:\\games\\disk1.DAT");
    EXPECT_STREQ(CurrentBaseName().text, "disk1");
    RememberBaseName("dir\\");
    EXPECT_STREQ(CurrentBaseName().text, "");
    RememberBaseName((std::string(80, 'q') + ".DAT").c_str());
    EXPECT_EQ(std::string(CurrentBaseName().text), std::string(31, 'q'));
}

// IsSupported: a recognized head sets the base name; one that is not leaves
// the previous one in place.
TEST(BaseName, ProbeSetsItOnlyWhenRecognized) {
    Bytes archive = BuildArchive({ToBytes("BMxx")});
    Bytes head = archive;
    head.resize(kProbeHeadSize, 0);
    Bytes junk(kProbeHeadSize, 0x4B);

    ASSERT_EQ(IsSupported("C:\\games\\first.DAT", reinterpret_cast<DWORD_PTR>(head.data())), 1);
    EXPECT_STREQ(CurrentBaseName().text, "first");
    EXPECT_EQ(IsSupported("C:\\games\\second.DAT", reinterpret_cast<DWORD_PTR>(junk.data())), 0);
    EXPECT_STREQ(CurrentBaseName().text, "first");

    // From an open handle (a descriptor here), read from where it stands.
    ScratchDir dir;
    std::string path = dir.File("third.DAT");
    WriteFileBytes(path, archive);
    int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_LT(fd, 0x10000);
    EXPECT_EQ(IsSupported("x\\third.DAT", static_cast<DWORD_PTR>(fd)), 1);
    EXPECT_STREQ(CurrentBaseName().text, "third");
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(archive.size()));  // left where the read left it
    EXPECT_EQ(IsSupported("x\\fourth.DAT", static_cast<DWORD_PTR>(fd)), 0);  // at the end now
    EXPECT_STREQ(CurrentBaseName().text, "third");
    close(fd);
}

TEST(PluginInfo, CutRules) {
    struct Case {
        int infono;
        int buflen;
        int result;
        const char* text;  // nullptr: buf untouched
    };
    const Case cases[] = {
        {0, 5, 4, "00AM"},
        {0, 64, 4, "00AM"},
        {0, 4, 3, "00A"},
        {0, 3, 2, "00"},
        {0, 1, 0, ""},
        {1, 1, 0, ""},
        {2, 64, 5, "*.DAT"},
        {2, 6, 5, "*.DAT"},
        {2, 5, 4, "*.DA"},
        {3, 64, 32, "COBALT WHARF Archive File(*.DAT)"},
        {3, 33, 32, "COBALT WHARF Archive File(*.DAT)"},
        {3, 32, 31, "COBALT WHARF Archive File(*.DAT"},
        {1, 31, 30, "KOVA extract library ver.0.01 "},
        // A buflen below 1 writes nothing.
        {0, 0, 0, nullptr},
        {0, -1, 0, nullptr},
        {3, -100, 0, nullptr},
        // infono out of range: 0, buf untouched.
        {4, 64, 0, nullptr},
        {-1, 64, 0, nullptr},
        {1000, 64, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "infono " << c.infono << " buflen " << c.buflen);
        char buf[80];
        std::memset(buf, 'X', sizeof buf);
        EXPECT_EQ(GetPluginInfo(c.infono, buf, c.buflen), c.result);
        size_t written = c.text == nullptr ? 0 : std::strlen(c.text) + 1;
        if (c.text != nullptr) {
            EXPECT_EQ(std::string(buf), c.text);
        }
        for (size_t k = written; k < sizeof buf; ++k) ASSERT_EQ(buf[k], 'X') << "byte " << k;
    }
}

TEST(PluginInfo, VersionStringAndNullBuffer) {
    char buf[256];
    int length = GetPluginInfo(1, buf, sizeof buf);
    EXPECT_EQ(length, static_cast<int>(std::strlen(buf)));
    EXPECT_EQ(std::string(buf).rfind("KOVA extract library ver.0.01 ", 0), 0u);
    EXPECT_GT(length, 30);
    EXPECT_EQ(GetPluginInfo(0, nullptr, 5), 0);  // a NULL buffer is no crash
}

}  // namespace
}  // namespace kova::testing
