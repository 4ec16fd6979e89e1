// The probe and the information strings.
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "tests/host/host_support.h"
#include "tests/host/sample_archive.h"

namespace kova::testing {
namespace {

// A file opened the way the host opens one before it probes by handle.
struct HostFile {
#ifdef _WIN32
    explicit HostFile(const std::string& path)
        : handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HostFile() { CloseHandle(handle); }
    DWORD_PTR Dw() const { return reinterpret_cast<DWORD_PTR>(handle); }
    void Seek(long to) { SetFilePointer(handle, to, nullptr, FILE_BEGIN); }
    int ReadByte() {
        unsigned char c;
        DWORD got = 0;
        return ReadFile(handle, &c, 1, &got, nullptr) && got == 1 ? c : -1;
    }
    HANDLE handle;
#else
    explicit HostFile(const std::string& path) : fd(open(path.c_str(), O_RDONLY)) {}
    ~HostFile() { close(fd); }
    DWORD_PTR Dw() const { return static_cast<DWORD_PTR>(fd); }
    void Seek(long to) { lseek(fd, to, SEEK_SET); }
    int ReadByte() {
        unsigned char c;
        return read(fd, &c, 1) == 1 ? c : -1;
    }
    int fd;
#endif
};

class ProbeTest : public HostTest {};

TEST_F(ProbeTest, AHandleIsReadFromWhereTheHostLeftIt) {
    Bytes archive = SampleArchive();
    Bytes padded(3000, 0x5A);  // longer than the probe reads
    std::copy(archive.begin(), archive.end(), padded.begin());
    std::string path = WriteArchive("handle.DAT", padded);

    HostFile file(path);
    ASSERT_LT(file.Dw(), kFirstPointerValue);
    EXPECT_EQ(Plugin().is_supported("handle.DAT", file.Dw()), 1);
    // The handle stays open and the host's; the probe read 2048 bytes.
    EXPECT_EQ(file.ReadByte(), 0x5A);
    file.Seek(1);
    EXPECT_EQ(Plugin().is_supported("handle.DAT", file.Dw()), 0);
    file.Seek(0);
    EXPECT_EQ(Plugin().is_supported("handle.DAT", file.Dw()), 1);
}

TEST_F(ProbeTest, OnlyConsistentHeadsAreRecognized) {
    Bytes good = SampleArchive();
    Bytes bad_size = good;
    PutLe32(bad_size, 4, GetLe32(good, 4) + 1);
    Bytes bad_first = good;
    PutLe32(bad_first, 28, GetLe32(good, 28) + 8);
    Bytes bad_magic = good;
    bad_magic[3] = 'B';
    Bytes any_reserved = good;
    PutLe32(any_reserved, 20, 0xFFFFFFFF);
    struct Case {
        const char* what;
        const Bytes* head;
        int recognized;
    } cases[] = {{"valid", &good, 1},           {"archive_size off by one", &bad_size, 0},
                 {"first offset off", &bad_first, 0}, {"magic", &bad_magic, 0},
                 {"byte 20 is free", &any_reserved, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ProbeByPointer("x.DAT", *c.head), c.recognized);
    }
    EXPECT_EQ(Plugin().is_supported(nullptr, reinterpret_cast<DWORD_PTR>(Bytes(kProbeHeadSize, 0).data())), 0);
}

TEST(PluginInfoTest, StringsAndTheirCuts) {
    PluginApi& api = Plugin();
    char buf[128];
    struct Case {
        int infono;
        int buflen;
        int copied;
        const char* text;
    } cases[] = {
        {0, 128, 4, "00AM"},     {0, 5, 4, "00AM"},   {0, 3, 2, "00"},
        {1, 1, 0, ""},           {2, 128, 5, "*.DAT"}, {3, 128, 32, "COBALT WHARF Archive File(*.DAT)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.infono);
        std::memset(buf, 'Q', sizeof buf);
        EXPECT_EQ(api.get_plugin_info(c.infono, buf, c.buflen), c.copied);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(buf[c.copied + 1], 'Q');
    }
    ASSERT_GT(api.get_plugin_info(1, buf, sizeof buf), 30);
    EXPECT_EQ(std::strncmp(buf, "KOVA extract library ver.0.01 ", 30), 0);
    for (int infono : {-1, 4, 1000}) {
        std::memset(buf, 'Q', sizeof buf);
        EXPECT_EQ(api.get_plugin_info(infono, buf, sizeof buf), 0);
        EXPECT_EQ(buf[0], 'Q');
    }
    EXPECT_EQ(api.get_plugin_info(0, buf, 0), 0);
    EXPECT_EQ(api.get_plugin_info(0, nullptr, 10), 0);
}

}  // namespace
}  // namespace kova::testing
