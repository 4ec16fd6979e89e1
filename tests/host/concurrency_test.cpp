// Eight hosts at once on one loaded plug-in: each probes (by pointer and by
// handle), lists, looks up and extracts (into memory and to disk) an archive
// of its own, with a base name of its own, by file name and from memory.
//
// The base name is the one piece of state the module keeps between calls,
// and the last probe sets it, so a thread may well see another thread's
// names; what it must never see is a name made of two of them. The base
// names differ in letter and in length, so a torn copy shows. Built with
// -DKOVA_TSAN=ON (scripts/test does, in build-tsan/), the same run also
// shows that no two calls race on anything else.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/host_support.h"
#include "tests/support/entry_encoder.h"

namespace kova::testing {
namespace {

constexpr int kThreads = 8;
constexpr int kDefaultRounds = 40;

struct Entry {
    Bytes content;
    std::string extension;
};

struct HostArchive {
    std::string base;  // e.g. "ccccccccccc": letter and length differ per thread
    std::string path;
    Bytes image;
    std::vector<Entry> entries;
    std::filesystem::path out_dir;
};

Bytes Filler(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (size_t k = 0; k < size; ++k) bytes[k] = static_cast<uint8_t>((k / 7 + seed) % 23 + 'a');
    return bytes;
}

// Entries of every kind the names tell apart, coded both ways and stored;
// thread t's archive has 4 + t of them, so the listings differ too.
std::vector<Entry> EntriesFor(int t) {
    Bytes bitmap = Concat({ToBytes("BM"), Filler(300 + 17 * t, t)});
    Bytes wave = Concat({ToBytes("RIFF"), {0, 0, 0, 0}, ToBytes("WAVEfmt "), Filler(500, t + 1)});
    Bytes midi = Concat({ToBytes("MThd"), Bytes(10, 0), ToBytes("MTrk"), Filler(90, t + 2)});
    std::vector<Entry> entries = {{bitmap, "BMP"}, {wave, "WAV"}, {midi, "MID"}};
    for (int k = 0; k < 1 + t; ++k) entries.push_back({Filler(64 + 40 * k, t * 5 + k), "DAT"});
    return entries;
}

Bytes StoredOf(const Entry& entry, size_t k) {
    // Every third entry stored as it is, the others coded with either method.
    if (k % 3 == 0) return StoreEntry(entry.content);
    return EncodeEntry(k % 3 == 1 ? 1 : 2, entry.content);
}

int Rounds() {
    const char* text = std::getenv("KOVA_CONCURRENCY_ROUNDS");
    int rounds = text != nullptr ? std::atoi(text) : 0;
    return rounds > 0 ? rounds : kDefaultRounds;
}

// What one thread does and what it saw wrong; the main thread reports it.
class HostThread {
public:
    HostThread(const HostArchive& own, const std::set<std::string>& bases) : own_(own), bases_(bases) {}

    void Run(int rounds) {
        for (int round = 0; round < rounds; ++round) {
            Probe();
            for (bool from_file : {true, false}) {
                ListAndLookUp(from_file);
                for (size_t i = 0; i < own_.entries.size(); ++i) Extract(from_file, i);
            }
            ExtractToDisk(round % 2 == 0, static_cast<size_t>(round) % own_.entries.size());
        }
    }

    const std::vector<std::string>& problems() const { return problems_; }

private:
    void Note(const std::string& what) {
        if (problems_.size() < 20) problems_.push_back(own_.base + ": " + what);
    }

    // True when `name` is some probed archive's base name, '_', the index in
    // three digits and the entry's extension: wholly one base name.
    bool CheckName(const std::string& name, size_t i, const char* call) {
        size_t underscore = name.rfind('_');
        std::string expected_tail = std::string(i < 10 ? "_00" : i < 100 ? "_0" : "_") + std::to_string(i) + "." +
                                    own_.entries[i].extension;
        if (underscore == std::string::npos || bases_.count(name.substr(0, underscore)) == 0 ||
            name.substr(underscore) != expected_tail) {
            Note(std::string(call) + " gave the name '" + name + "' for entry " + std::to_string(i));
            return false;
        }
        return true;
    }

    const char* Buf(bool from_file) const {
        return from_file ? own_.path.c_str() : reinterpret_cast<const char*>(own_.image.data());
    }
    LONG_PTR Len(bool from_file) const { return from_file ? 0 : static_cast<LONG_PTR>(own_.image.size()); }
    unsigned Flag(bool from_file) const { return from_file ? kFileInput : kMemoryInput; }

    void Probe() {
        Bytes head = own_.image;
        head.resize(kProbeHeadSize);
        if (Plugin().is_supported(own_.path.c_str(), reinterpret_cast<DWORD_PTR>(head.data())) != 1) {
            Note("probe by pointer said no");
        }
        int handle = open(own_.path.c_str(), O_RDONLY);
        if (handle < 0) return Note("cannot open the archive");
        if (Plugin().is_supported(own_.path.c_str(), static_cast<DWORD_PTR>(handle)) != 1) {
            Note("probe by handle said no");
        }
        close(handle);
    }

    void ListAndLookUp(bool from_file) {
        const char* call = from_file ? "listing by file" : "listing from memory";
        Listing listing = List(Buf(from_file), Len(from_file), Flag(from_file));
        if (listing.result != 0 || listing.records.size() != own_.entries.size() || !listing.closed) {
            return Note(std::string(call) + " failed or miscounted: " + std::to_string(listing.result));
        }
        for (size_t i = 0; i < listing.records.size(); ++i) {
            const EntryInfo& record = listing.records[i];
            std::string name = NameOf(record);
            if (!CheckName(name, i, call)) continue;
            if (record.position != i || record.unpacked_size != own_.entries[i].content.size()) {
                Note(std::string(call) + " gave wrong fields for entry " + std::to_string(i));
            }
            // Looked up by the listed name, whoever's base name it carries.
            EntryInfo found = {};
            int result = Plugin().get_file_info(Buf(from_file), Len(from_file), name.c_str(), Flag(from_file), &found);
            if (result != 0 || found.position != i) {
                Note("lookup of '" + name + "' gave " + std::to_string(result));
                continue;
            }
            CheckName(NameOf(found), i, "lookup");
        }
    }

    void Extract(bool from_file, size_t i) {
        Extraction got = from_file ? ExtractFile(own_.path, static_cast<LONG_PTR>(i)) : ExtractImage(own_.image, i);
        if (got.result != 0 || got.content != own_.entries[i].content) {
            Note(std::string(from_file ? "file" : "memory") + " extraction of entry " + std::to_string(i) +
                 " gave " + std::to_string(got.result) + " or other content");
        }
    }

    // Disk output names the file after the entry: the one file in the
    // thread's directory afterwards must carry a whole base name.
    void ExtractToDisk(bool from_file, size_t i) {
        const char* src = from_file ? own_.path.c_str() : reinterpret_cast<const char*>(own_.image.data()) + i;
        LONG_PTR len = from_file ? static_cast<LONG_PTR>(i) : static_cast<LONG_PTR>(own_.image.size());
        std::string dest = own_.out_dir.string();
        int result = Plugin().get_file(src, len, dest.data(), Flag(from_file) | kDiskOutput, nullptr, 0);
        if (result != 0) return Note("disk extraction gave " + std::to_string(result));
        std::vector<std::filesystem::path> files;
        for (const auto& item : std::filesystem::directory_iterator(own_.out_dir)) files.push_back(item.path());
        if (files.size() != 1) return Note("disk extraction left " + std::to_string(files.size()) + " files");
        if (CheckName(files[0].filename().string(), i, "disk extraction") &&
            ReadFileBytes(files[0].string()) != own_.entries[i].content) {
            Note("disk extraction wrote other content");
        }
        std::filesystem::remove(files[0]);
    }

    const HostArchive& own_;
    const std::set<std::string>& bases_;
    std::vector<std::string> problems_;
};

class ConcurrencyTest : public HostTest {};

TEST_F(ConcurrencyTest, EightHostsAtOnceSeeWholeNamesAndRightContent) {
    std::vector<HostArchive> archives(kThreads);
    std::set<std::string> bases;
    for (int t = 0; t < kThreads; ++t) {
        HostArchive& archive = archives[t];
        archive.base = std::string(5 + 3 * t, static_cast<char>('a' + t));
        archive.entries = EntriesFor(t);
        std::vector<Bytes> stored;
        for (size_t k = 0; k < archive.entries.size(); ++k) stored.push_back(StoredOf(archive.entries[k], k));
        archive.image = BuildArchive(stored);
        archive.path = WriteArchive(archive.base + ".DAT", archive.image);
        archive.out_dir = dir_ / ("out-" + archive.base);
        std::filesystem::create_directories(archive.out_dir);
        bases.insert(archive.base);
    }
    Plugin();  // loaded once, before the threads start

    std::vector<HostThread> hosts;
    for (const HostArchive& archive : archives) hosts.emplace_back(archive, bases);
    std::atomic<int> ready{0};
    int rounds = Rounds();
    std::vector<std::thread> threads;
    for (HostThread& host : hosts) {
        threads.emplace_back([&host, &ready, rounds] {
            // Start together, so that the calls overlap from the first.
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            host.Run(rounds);
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (const HostThread& host : hosts) {
        for (const std::string& problem : host.problems()) ADD_FAILURE() << problem;
    }
}

}  // namespace
}  // namespace kova::testing
