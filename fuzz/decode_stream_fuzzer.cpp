// DecodeEntry against the plain reference decoder on command streams that
// get past their first back copy: the harness puts a head and a literal
// prefix of its own before the fuzzer's bytes, so that copies reach into
// written output and the decoder's block-moving loop runs long.
//
// Input: four parameter bytes, then the command stream.
//   byte 0     bits 0-1: the method byte (1, 2, 0x81, 0x82); bits 2-3: the
//              prefix's length (0, 100, 700 or 2700 bytes); bit 4: one more
//              stored byte lies past the input length (the only byte a long
//              run may read there)
//   bytes 1-2  capacity past the prefix's output
//   byte 3     bytes of the stream cut from the input's end
//
// Checked: no access outside the stored bytes or the output (ASan, both
// buffers are exactly sized heap blocks); the same result as the reference
// in every field, the same bytes, and nothing written past the count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "format/decoder.h"
#include "tests/support/reference_decoder.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;

[[noreturn]] void Fail(const char* what) {
    __builtin_printf("decode_stream_fuzzer: %s\n", what);
    std::abort();
}

std::unique_ptr<uint8_t[]> Filled(size_t size, uint8_t value) {
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size == 0 ? 1 : size]);
    std::memset(bytes.get(), value, size);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    static const uint8_t kMethods[] = {0x01, 0x02, 0x81, 0x82};
    static const size_t kPrefixes[] = {0, 100, 700, 2700};
    size_t prefix = kPrefixes[(data[0] >> 2) & 3];
    bool byte_past_input = (data[0] & 0x10) != 0;
    size_t capacity = prefix + (data[1] | (data[2] << 8));
    size_t cut = data[3];

    std::vector<uint8_t> stream = {kMethods[data[0] & 3], 0, 0, 0, 0};
    uint32_t state = 0x2545F491;
    for (size_t at = 0; at < prefix; at += 50) {
        stream.push_back(50);
        for (int k = 0; k < 50; ++k) {
            state = state * 1103515245u + 12345u;
            stream.push_back(static_cast<uint8_t>(state >> 24));
        }
    }
    stream.insert(stream.end(), data + 4, data + size);
    size_t input_length = stream.size() > cut ? stream.size() - cut : 0;
    size_t stored_size = byte_past_input ? std::min(stream.size(), input_length + 1) : input_length;

    // Exactly the entry's bytes, so that a read past them is caught.
    std::unique_ptr<uint8_t[]> stored = Filled(stored_size, 0);
    if (stored_size > 0) std::memcpy(stored.get(), stream.data(), stored_size);
    std::unique_ptr<uint8_t[]> got = Filled(capacity, kUntouched);
    std::unique_ptr<uint8_t[]> want = Filled(capacity, kUntouched);

    kova::DecodeResult result = kova::DecodeEntry(kova::ByteSpan(stored.get(), stored_size), input_length,
                                                  kova::MutableByteSpan(got.get(), capacity));
    kova::fuzz::ReferenceResult reference =
        kova::fuzz::ReferenceDecode(stored.get(), stored_size, input_length, want.get(), capacity);
    if (result.coded != reference.coded) Fail("coded flag differs from the reference");
    if (result.written != reference.written) Fail("byte count differs from the reference");
    if (result.stop != reference.stop) Fail("stop reason differs from the reference");
    if (result.input_used != reference.input_used) Fail("input used differs from the reference");
    if (std::memcmp(got.get(), want.get(), capacity) != 0) Fail("content differs from the reference");
    for (size_t k = result.written; k < capacity; ++k) {
        if (got[k] != kUntouched) Fail("wrote past the count it reports");
    }
    return 0;
}
