#include "tests/support/archive_builder.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

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
    const uint32_t index_offset = 24;
    const uint32_t count = static_cast<uint32_t>(stored_entries.size());
    uint32_t data_size = 0;
    for (const Bytes& entry : stored_entries) data_size += static_cast<uint32_t>(entry.size());

    Bytes archive = {'K', 'O', 'V', 'A'};
    PutLe32(archive, 4, index_offset + 8 * count + data_size);
    PutLe32(archive, 8, index_offset);
    PutLe32(archive, 12, data_size);
    PutLe32(archive, 16, count);
    PutLe32(archive, 20, reserved);
    uint32_t offset = index_offset + 8 * count;
    for (uint32_t i = 0; i < count; ++i) {
        PutLe32(archive, 24 + 8 * i, static_cast<uint32_t>(stored_entries[i].size()));
        PutLe32(archive, 28 + 8 * i, offset);
        offset += static_cast<uint32_t>(stored_entries[i].size());
    }
    archive.resize(index_offset + 8 * count);
    for (const Bytes& entry : stored_entries) Append(archive, entry);
    // An empty archive still carries the u32 at byte 28 that validation reads:
    // it must equal the end of the (empty) index.
    if (count == 0) PutLe32(archive, 28, index_offset);
    if (archive.size() < 32) archive.resize(32);
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
