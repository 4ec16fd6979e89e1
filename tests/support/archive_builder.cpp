#include "tests/support/archive_builder.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "format/layout.h"

namespace kova::testing {

void PutLe32(Bytes& bytes, size_t offset, uint32_t value) {
    if (bytes.size() < offset + 4) bytes.resize(offset + 4);
    for (int k = 0; k < 4; ++k) bytes[offset + k] = static_cast<uint8_t>(value >> (8 * k));
}

uint32_t GetLe32(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = (value << 8) | bytes.at(offset + k);
    return value;
}

Bytes BuildArchive(const std::vector<Bytes>& stored_entries, uint32_t reserved) {
    std::vector<ByteSpan> spans;
    for (const Bytes& entry : stored_entries) spans.emplace_back(entry.data(), entry.size());
    ArchiveHeader header;
    if (!LayOutArchive(spans.data(), spans.size(), header)) throw std::length_error("archive over 4 GiB");
    header.reserved = reserved;
    Bytes archive(ArchiveFrontSize(spans.size()));
    WriteArchiveFront(MutableByteSpan(archive.data(), archive.size()), header, spans.data(), spans.size());
    for (const Bytes& entry : stored_entries) Append(archive, entry);
    return archive;
}

Bytes CodedEntry(uint8_t method, uint32_t unpacked_size, const Bytes& commands) {
    Bytes stored = {method};
    PutLe32(stored, 1, unpacked_size);
    Append(stored, commands);
    return stored;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void Append(Bytes& bytes, const Bytes& tail) {
    size_t at = bytes.size();
    bytes.resize(at + tail.size());
    if (!tail.empty()) std::memcpy(bytes.data() + at, tail.data(), tail.size());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) Append(all, part);
    return all;
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kova::testing
