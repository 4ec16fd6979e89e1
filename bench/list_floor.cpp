// The least a listing can do, as the yardstick for `kova list`: read the
// header and the index, read each entry's first bytes, and print the lines
// `kova list` prints to a pipe (index, name, packed and unpacked size, the
// numbers right-aligned). Plain reads, no libraries of ours, no checks past
// what naming and sizing need.
//
//   list_floor ARCHIVE > lines
//
// Entries are named <base>_<index, 3 digits or more>.<BMP|WAV|MID|DAT>,
// the extension sniffed from the content's first bytes: a stored entry's own
// bytes, or a coded entry's first literal run (the only content a head shows
// without decoding).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Reads `size` bytes at `offset`; bytes the file does not hold read as zero.
bool ReadAt(int fd, uint64_t offset, uint8_t* out, size_t size, size_t* got = nullptr) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    std::memset(out + done, 0, size - done);
    if (got != nullptr) *got = done;
    return true;
}

// Entry heads come through one window of the file, refilled from the head
// that falls outside it: entries laid out one after another cost one read
// per window, not one per entry.
class HeadReader {
public:
    explicit HeadReader(int fd) : fd_(fd), window_(kWindow) {}

    // The `size` bytes at `offset` (size <= kHead), zeros past the file's end.
    const uint8_t* At(uint64_t offset, size_t size) {
        if (offset < start_ || offset + size > start_ + length_) {
            size_t got = 0;
            if (!ReadAt(fd_, offset, window_.data(), kWindow, &got)) return nullptr;
            start_ = offset;
            length_ = kWindow;  // the zeros past the end count as read
        }
        return window_.data() + (offset - start_);
    }

    static constexpr size_t kHead = 64;

private:
    static constexpr size_t kWindow = 1 << 16;
    int fd_;
    std::vector<uint8_t> window_;
    uint64_t start_ = 0, length_ = 0;
};

bool Has(const uint8_t* content, size_t size, size_t at, const char* text) {
    size_t length = std::strlen(text);
    return at + length <= size && std::memcmp(content + at, text, length) == 0;
}

const char* Sniff(const uint8_t* content, size_t size) {
    if (Has(content, size, 0, "BM")) return "BMP";
    if (Has(content, size, 0, "MThd")) return Has(content, size, 14, "MTrk") ? "MID" : "DAT";
    if (Has(content, size, 0, "RIFF")) return Has(content, size, 8, "WAVEfmt") ? "WAV" : "DAT";
    return "DAT";
}

// The final component of the path up to its first dot, at most 31 bytes.
std::string BaseOf(const char* path) {
    std::string text = path;
    size_t start = 0;
    for (size_t at = text.size(); at >= 1; --at) {
        if (at < text.size() && text[at] == '/') {
            start = at + 1;
            break;
        }
    }
    size_t end = text.find('.', std::max<size_t>(start, 1));
    std::string base = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return base.substr(0, 31);
}

int Digits(uint64_t value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// `value` in decimal, right-aligned in `width` columns padded with `fill`,
// at `out`; returns the end.
char* Right(char* out, uint64_t value, int width, char fill = ' ') {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int k = count; k < width; ++k) *out++ = fill;
    while (count > 0) *out++ = digits[--count];
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: list_floor ARCHIVE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    uint8_t header[24];
    if (!ReadAt(fd, 0, header, sizeof header) || std::memcmp(header, "KOVA", 4) != 0) {
        std::fprintf(stderr, "%s: not an archive\n", argv[1]);
        return 1;
    }
    uint32_t index_offset = Le32(header + 8), count = Le32(header + 16);
    std::vector<uint8_t> index(size_t{count} * 8);
    if (!ReadAt(fd, index_offset, index.data(), index.size())) {
        std::perror(argv[1]);
        return 1;
    }

    // First pass: the unpacked size and the extension from each head.
    struct Row {
        uint32_t unpacked;
        const char* extension;
    };
    std::vector<Row> rows(count);
    HeadReader heads(fd);
    uint32_t widest_packed = 0, widest_unpacked = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t stored = Le32(&index[size_t{i} * 8]), offset = Le32(&index[size_t{i} * 8 + 4]);
        size_t size = std::min<size_t>(stored, HeadReader::kHead);
        const uint8_t* head = heads.At(offset, size);
        if (head == nullptr) {
            std::perror(argv[1]);
            return 1;
        }
        uint8_t method = size > 0 ? head[0] & 0x7F : 0;
        Row row{stored, "DAT"};
        if (method == 1 || method == 2) {
            row.unpacked = size >= 5 ? Le32(head + 1) : 0;
            size_t literal = size > 5 && head[5] >= 1 && head[5] <= 0x3F ? head[5] : 0;
            row.extension = Sniff(head + 6, std::min(literal, size > 6 ? size - 6 : 0));
        } else {
            row.extension = Sniff(head, size);
        }
        rows[i] = row;
        widest_packed = std::max(widest_packed, stored);
        widest_unpacked = std::max(widest_unpacked, row.unpacked);
    }

    std::string base = BaseOf(argv[1]);
    int index_width = std::max(5, count > 0 ? Digits(count - 1) : 1);
    int name_width = std::max<int>(4, static_cast<int>(base.size()) + 1 + std::max(3, Digits(count > 0 ? count - 1 : 0)) + 4);
    int packed_width = std::max(6, Digits(widest_packed));
    int unpacked_width = std::max(8, Digits(widest_unpacked));

    // Second pass: the lines, through one buffer.
    std::vector<char> buffer(1 << 20);
    size_t used = 0;
    auto flush = [&]() {
        size_t done = 0;
        while (done < used) {
            ssize_t n = write(1, buffer.data() + done, used - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        used = 0;
        return true;
    };
    size_t longest = static_cast<size_t>(index_width + name_width + packed_width + unpacked_width) + 8;
    for (uint32_t i = 0; i < count; ++i) {
        if (buffer.size() - used < longest && !flush()) return 1;
        char* out = buffer.data() + used;
        char* line = out;
        out = Right(out, i, index_width);
        *out++ = ' ';
        *out++ = ' ';
        char* name = out;
        std::memcpy(out, base.data(), base.size());
        out += base.size();
        *out++ = '_';
        out = Right(out, i, 3, '0');
        *out++ = '.';
        std::memcpy(out, rows[i].extension, 3);
        out += 3;
        while (out - name < name_width) *out++ = ' ';
        *out++ = ' ';
        *out++ = ' ';
        out = Right(out, uint64_t{Le32(&index[size_t{i} * 8])}, packed_width);
        *out++ = ' ';
        *out++ = ' ';
        out = Right(out, rows[i].unpacked, unpacked_width);
        *out++ = '\n';
        used += static_cast<size_t>(out - line);
    }
    if (!flush()) return 1;
    close(fd);
    return 0;
}
