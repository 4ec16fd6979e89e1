#include "tests/support/reference_decoder.h"


namespace kova::fuzz {
namespace {

// The rows written out here, not taken from the decoder's own table: a
// reference that shared the table could not catch a slip in it.
using DistanceRow = uint32_t[4];
constexpr DistanceRow kReferenceWide = {320, 640, 1280, 2560};
constexpr DistanceRow kReferenceNarrow = {80, 160, 320, 640};

struct Machine {
    const uint8_t* in;
    size_t stored_size;
    size_t n;
    uint8_t* out;
    size_t m;
    size_t i = 5;
    size_t p = 0;
    DecodeStop stop = DecodeStop::kInputExhausted;

    // Writes one byte; false once the output is full, which ends decoding.
    bool Put(uint8_t value) {
        out[p++] = value;
        return p < m;
    }

    void Run(const DistanceRow& row) {
        while (i < n) {
            uint8_t c = in[i++];
            if (c == 0x00) {
                stop = DecodeStop::kEndCommand;
                return;
            }
            if (i >= n) return;
            if (c <= 0x3F) {
                for (unsigned k = 0; k < c; ++k) {
                    out[p++] = in[i++];
                    if (p >= m || i >= n) return;
                }
            } else if (c <= 0x7E) {
                uint8_t v = in[i++];
                for (unsigned k = 0; k < c - 61u; ++k) {
                    if (!Put(v)) return;
                }
            } else if (c == 0x7F) {
                if (i + 1 >= n) return;
                unsigned count = in[i] | (in[i + 1] << 8);
                i += 2;
                // The value byte may be the one just past the input, but only
                // while it is still one of the entry's own bytes.
                if (i >= stored_size) return;
                uint8_t v = in[i++];
                for (unsigned k = 0; k < count; ++k) {
                    if (!Put(v)) return;
                }
            } else if (c <= 0xBE) {
                if (i + 1 >= n) return;
                uint8_t a = in[i], b = in[i + 1];
                i += 2;
                for (unsigned k = 0; k < c - 126u; ++k) {
                    if (!Put(a) || !Put(b)) return;
                }
            } else if (c == 0xBF) {
                if (i + 1 >= n) return;
                unsigned count = in[i] | (in[i + 1] << 8);
                i += 2;
                if (i + 1 >= n) return;
                uint8_t a = in[i], b = in[i + 1];
                i += 2;
                for (unsigned k = 0; k < count; ++k) {
                    if (!Put(a) || !Put(b)) return;
                }
            } else {
                uint8_t d = in[i++];
                if (i >= n) return;
                int64_t from = static_cast<int64_t>(p) - int64_t{row[d >> 6]} + (d & 0x3F);
                // Nothing precedes the output: the copy is corrupt and ends it.
                if (from < 0) {
                    stop = DecodeStop::kCopyBeforeStart;
                    return;
                }
                for (unsigned k = 0; k < c - 189u; ++k) {
                    uint8_t v = out[from++];
                    if (!Put(v)) return;
                }
            }
        }
    }
};

}  // namespace

ReferenceResult ReferenceDecode(const uint8_t* stored, size_t stored_size, size_t input_length,
                                uint8_t* out, size_t capacity) {
    size_t n = input_length < stored_size ? input_length : stored_size;
    uint8_t method = stored_size > 0 ? (stored[0] & 0x7F) : 0;
    if (method != 1 && method != 2) {
        size_t k = 0;
        for (; k < n && k < capacity; ++k) out[k] = stored[k];
        return {false, k, k < n ? DecodeStop::kOutputFull : DecodeStop::kInputExhausted, k};
    }
    // The head alone is consumed before anything is decoded.
    if (capacity == 0) return {true, 0, DecodeStop::kOutputFull, n < 5 ? n : 5};
    if (n <= 5) return {true, 0, DecodeStop::kInputExhausted, n};
    Machine machine{stored, stored_size, n, out, capacity};
    machine.Run(method == 1 ? kReferenceWide : kReferenceNarrow);
    // A full output is the reason whenever no command ended decoding first.
    if (machine.stop == DecodeStop::kInputExhausted && machine.p >= capacity) machine.stop = DecodeStop::kOutputFull;
    return {true, machine.p, machine.stop, machine.i};
}

}  // namespace kova::fuzz
