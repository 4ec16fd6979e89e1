// DecodeEntry on arbitrary stored bytes, input lengths and capacities.
//
// Input: four parameter bytes, then the stored bytes.
//   bytes 0-1  capacity (a long run alone fills 65535 bytes)
//   byte 2     bits 4-7: the smaller capacity of the prefix check, in
//              sixteenths of the larger
//   byte 3     how the input length relates to the stored bytes:
//              bits 6-7 = 0: all of them; 1: all but (bits 0-5) of them;
//              2: (bits 0-5) more than there are; 3: exactly bits 0-5
//
// Checked: no access outside the stored bytes or the output (ASan, both
// buffers are exactly sized heap blocks); the result equals the plain
// reference decoder's, byte for byte, in the count written, the reason to
// stop and the input used; and a smaller capacity gives a prefix of the
// larger one's output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "format/decoder.h"
#include "tests/support/reference_decoder.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;

[[noreturn]] void Fail(const char* what) {
    __builtin_printf("decode_entry_fuzzer: %s\n", what);
    std::abort();
}

struct Output {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size;
    explicit Output(size_t n) : bytes(new uint8_t[n == 0 ? 1 : n]), size(n) {
        std::memset(bytes.get(), kUntouched, n);
    }
    uint8_t* data() { return size == 0 ? nullptr : bytes.get(); }
};

kova::DecodeResult Decode(const uint8_t* stored, size_t stored_size, size_t input_length, Output& out) {
    return kova::DecodeEntry(kova::ByteSpan(stored, stored_size), input_length,
                             kova::MutableByteSpan(out.data(), out.size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t capacity = data[0] | (data[1] << 8);
    size_t smaller = capacity * (data[2] >> 4) / 16;
    size_t stored_size = size - 4;
    size_t tweak = data[3] & 0x3F;
    size_t input_length = stored_size;
    switch (data[3] >> 6) {
    case 0: break;
    case 1: input_length = stored_size > tweak ? stored_size - tweak : 0; break;
    case 2: input_length = stored_size + tweak; break;
    default: input_length = tweak; break;
    }

    // Exactly the entry's bytes, so that a read past them is caught.
    std::unique_ptr<uint8_t[]> stored(new uint8_t[stored_size == 0 ? 1 : stored_size]);
    std::memcpy(stored.get(), data + 4, stored_size);
    const uint8_t* stored_bytes = stored_size == 0 ? nullptr : stored.get();

    Output full(capacity);
    kova::DecodeResult result = Decode(stored_bytes, stored_size, input_length, full);
    if (result.written > capacity) Fail("wrote past the capacity it reports");
    for (size_t k = result.written; k < capacity; ++k) {
        if (full.bytes[k] != kUntouched) Fail("wrote past the count it reports");
    }

    Output expected(capacity);
    kova::fuzz::ReferenceResult reference =
        kova::fuzz::ReferenceDecode(stored_bytes, stored_size, input_length, expected.data(), capacity);
    if (reference.coded != result.coded) Fail("coded flag differs from the reference");
    if (reference.written != result.written) Fail("byte count differs from the reference");
    if (reference.stop != result.stop) Fail("stop reason differs from the reference");
    if (reference.input_used != result.input_used) Fail("input used differs from the reference");
    if (capacity > 0 && std::memcmp(full.bytes.get(), expected.bytes.get(), capacity) != 0) {
        Fail("content differs from the reference");
    }

    // Decoding stops for the same reasons at the same places whatever the
    // capacity, except that a smaller one stops earlier: its output is the
    // larger one's, cut at its capacity.
    Output cut(smaller);
    kova::DecodeResult cut_result = Decode(stored_bytes, stored_size, input_length, cut);
    size_t expected_cut = result.written < smaller ? result.written : smaller;
    if (cut_result.coded != result.coded) Fail("coded flag depends on the capacity");
    if (cut_result.written != expected_cut) Fail("smaller capacity: count is not the cut count");
    if (smaller > 0 && std::memcmp(cut.bytes.get(), full.bytes.get(), smaller) != 0) {
        Fail("smaller capacity: output is not a prefix");
    }
    return 0;
}
