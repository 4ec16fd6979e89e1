#include "bench/plain_decoder.h"

namespace kova::bench {

size_t PlainDecode(const uint8_t* stored, size_t stored_size, size_t input_length, uint8_t* out,
                   size_t capacity) {
    size_t n = input_length < stored_size ? input_length : stored_size;
    unsigned method = stored_size > 0 ? (stored[0] & 0x7F) : 0;
    size_t p = 0;
    if (method != 1 && method != 2) {
        while (p < n && p < capacity) {
            out[p] = stored[p];
            ++p;
        }
        return p;
    }
    static const unsigned kRows[2][4] = {{320, 640, 1280, 2560}, {80, 160, 320, 640}};
    const unsigned* row = kRows[method - 1];
    const uint8_t* in = stored;
    size_t m = capacity;
    size_t i = 5;
    while (i < n && p < m) {
        unsigned c = in[i++];
        if (i >= n || c == 0x00) break;
        if (c <= 0x3F) {
            for (unsigned k = 0; k < c && i < n && p < m; ++k) out[p++] = in[i++];
        } else if (c <= 0x7E) {
            uint8_t v = in[i++];
            for (unsigned k = 0; k < c - 61 && p < m; ++k) out[p++] = v;
        } else if (c == 0x7F) {
            if (i + 1 >= n) break;
            unsigned count = in[i] | (in[i + 1] << 8);
            i += 2;
            if (i >= stored_size) break;  // the value byte is not the entry's own
            uint8_t v = in[i++];
            for (unsigned k = 0; k < count && p < m; ++k) out[p++] = v;
        } else if (c <= 0xBF) {
            if (i + 1 >= n) break;
            unsigned pairs = c - 126;
            if (c == 0xBF) {
                pairs = in[i] | (in[i + 1] << 8);
                i += 2;
                if (i + 1 >= n) break;
            }
            uint8_t a = in[i], b = in[i + 1];
            i += 2;
            for (unsigned k = 0; k < pairs && p < m; ++k) {
                out[p++] = a;
                if (p < m) out[p++] = b;
            }
        } else {
            unsigned d = in[i++];
            if (i >= n) break;
            size_t back = row[d >> 6] - (d & 0x3F);
            if (back > p) break;  // nothing precedes the output
            for (unsigned k = 0; k < c - 189 && p < m; ++k) {
                out[p] = out[p - back];
                ++p;
            }
        }
    }
    return p;
}

}  // namespace kova::bench
