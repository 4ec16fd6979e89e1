// Builds archive images byte by byte for tests: a valid header and index
// around the stored bytes given, with every field open to tampering after.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::testing {

using Bytes = std::vector<uint8_t>;

// An archive whose index follows the header and whose entries follow the
// index, in order: the archive writer's layout, laid out by the same code.
Bytes BuildArchive(const std::vector<Bytes>& stored_entries, uint32_t reserved = 0);

// Stored bytes of a coded entry: method byte, declared size, command stream.
Bytes CodedEntry(uint8_t method, uint32_t unpacked_size, const Bytes& commands);

void PutLe32(Bytes& bytes, size_t offset, uint32_t value);
uint32_t GetLe32(const Bytes& bytes, size_t offset);

Bytes ToBytes(const std::string& text);

// Appends `tail` to `bytes`. (A plain vector insert trips a false
// out-of-bounds warning in g++ 12 at -O2.)
void Append(Bytes& bytes, const Bytes& tail);
Bytes Concat(std::initializer_list<Bytes> parts);

// Writes `bytes` to `path`, replacing it.
void WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);

}  // namespace kova::testing
