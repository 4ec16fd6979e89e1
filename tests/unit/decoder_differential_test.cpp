// DecodeEntry against the plain reference decoder, over streams long enough
// for its block-moving loop and cut so that every command meets the end of
// input or of room in its careful loop: the same bytes, the same count, the
// same reason to stop, the same input used, and nothing written past the
// count.
#include <gtest/gtest.h>

#include <random>

#include "format/decoder.h"
#include "tests/support/reference_decoder.h"
#include "tests/unit/unit_support.h"

namespace kova::testing {
namespace {

constexpr uint8_t kSentinel = 0xEE;
constexpr size_t kGuard = 32;

// Decodes `stored` cut to `stored_size` bytes (held in a buffer of exactly
// that size), with input length `n` and capacity `m`, both ways.
void ExpectSameAsReference(const Bytes& stored, size_t stored_size, size_t n, size_t m) {
    SCOPED_TRACE(::testing::Message() << "stored " << stored_size << " n " << n << " m " << m);
    const Bytes exact(stored.begin(), stored.begin() + stored_size);
    Bytes got(m + kGuard, kSentinel), want(m + kGuard, kSentinel);
    DecodeResult result = DecodeEntry(View(exact), n, MutableByteSpan(got.data(), m));
    fuzz::ReferenceResult reference = fuzz::ReferenceDecode(exact.data(), exact.size(), n, want.data(), m);
    ASSERT_EQ(result.coded, reference.coded);
    ASSERT_EQ(result.written, reference.written);
    ASSERT_EQ(result.stop, reference.stop);
    ASSERT_EQ(result.input_used, reference.input_used);
    ASSERT_EQ(got, want);
}

using Random = std::mt19937;

uint8_t Byte(Random& random) { return static_cast<uint8_t>(random()); }

// A command stream as a writer might make it, with now and then a count
// past the room or a byte of garbage: a literal prefix (so that back copies
// have something to reach), then every kind of command.
Bytes PlausibleStream(Random& random, uint8_t method) {
    Bytes stored = {method, Byte(random), Byte(random), 0, 0};
    for (size_t prefix = random() % 3000; prefix > 0;) {
        size_t count = std::min<size_t>(prefix, 1 + random() % 63);
        stored.push_back(static_cast<uint8_t>(count));
        for (size_t k = 0; k < count; ++k) stored.push_back(Byte(random));
        prefix -= count;
    }
    for (size_t commands = random() % 120; commands > 0; --commands) {
        uint8_t c = Byte(random);
        stored.push_back(c == 0 && random() % 4 != 0 ? 0x01 : c);
        size_t operands = c <= 0x3F ? c : c == 0x7F ? 3 : c <= 0x7E ? 1 : c == 0xBF ? 4 : c <= 0xBE ? 2 : 1;
        for (size_t k = 0; k < operands; ++k) stored.push_back(Byte(random));
        // Long runs mostly of a few hundred bytes, so that what follows runs.
        if ((c == 0x7F || c == 0xBF) && random() % 8 != 0) stored[stored.size() - operands + 1] = 0;
    }
    if (random() % 2 == 0) stored.push_back(0x00);
    return stored;
}

Bytes Garbage(Random& random, uint8_t method) {
    Bytes stored(random() % 400, 0);
    for (uint8_t& b : stored) b = Byte(random);
    if (!stored.empty()) stored[0] = method;
    return stored;
}

// Every input length and capacity near the ends of a stream, where the fast
// loop hands over to the careful one, and the sniffer's 48 bytes.
TEST(DecoderDifferential, RandomAndHostileStreams) {
    Random random(20240611);
    const uint8_t methods[] = {0x01, 0x02, 0x81, 0x82, 0x42};
    for (int round = 0; round < 120; ++round) {
        uint8_t method = methods[round % 5];
        Bytes stored = round % 3 == 2 ? Garbage(random, method) : PlausibleStream(random, method);
        Bytes full(1 << 20);
        size_t produced = DecodeEntry(View(stored), stored.size(), MutableByteSpan(full)).written;
        std::vector<size_t> capacities = {0, 1, 2, 3, 7, 8, 15, 16, 17, 31, 32, 33, 48, 130, produced + 1};
        for (size_t back = 0; back <= 140 && back <= produced; back += 1 + back / 8) {
            capacities.push_back(produced - back);
        }
        for (size_t m : capacities) ExpectSameAsReference(stored, stored.size(), stored.size(), m);
        for (size_t back = 0; back <= 70 && back <= stored.size(); ++back) {
            size_t n = stored.size() - back;
            // The byte at n is the entry's own, or lies past its stored bytes.
            ExpectSameAsReference(stored, stored.size(), n, produced + 1);
            ExpectSameAsReference(stored, n, n, produced + 1);
        }
        ExpectSameAsReference(stored, stored.size(), 48, 48);
    }
}

// Each command at its longest (and a long run cut by the room), after a
// prefix it can reach back into, with every capacity from before it to past
// its end and every input length around it: where the fast loop hands over.
TEST(DecoderDifferential, CommandsWhereTheFastLoopHandsOver) {
    const Bytes commands[] = {Concat({Bytes{0x3F}, Bytes(63, 'l')}),
                              {0x7E, 'r'},
                              {0x7F, 0x2C, 0x01, 'R'},
                              {0x7F, 0x00, 0x00, 'Z'},
                              {0xBE, 'a', 'b'},
                              {0xBF, 0x2C, 0x01, 'c', 'd'},
                              {0xFF, 0x3F},
                              {0xFF, 0xC0},
                              {0x00}};
    Random random(3);
    Bytes prefix;
    for (size_t k = 0; k < 2600; ++k) prefix.push_back(Byte(random));
    for (uint8_t method : {0x01, 0x02}) {
        for (const Bytes& command : commands) {
            Bytes stored = {method, 0, 0, 0, 0};
            for (size_t at = 0; at < prefix.size(); at += 52) {
                stored.push_back(52);
                Append(stored, Bytes(prefix.begin() + at, prefix.begin() + at + 52));
            }
            size_t command_at = stored.size();
            Append(stored, command);
            Append(stored, Bytes(80, 0x01));
            for (size_t m = prefix.size() - 2; m < prefix.size() + 420; ++m) {
                ExpectSameAsReference(stored, stored.size(), stored.size(), m);
            }
            for (size_t n = command_at; n <= stored.size(); ++n) {
                ExpectSameAsReference(stored, stored.size(), n, prefix.size() + 420);
                ExpectSameAsReference(stored, n, n, prefix.size() + 420);
            }
        }
    }
}

// A back copy from every parameter byte, at the first output position it
// reaches and the one before it, of the shortest, one block's, and the
// longest count, and with and without room for the fast loop after it.
TEST(DecoderDifferential, BackCopyAtEveryReach) {
    Random random(7);
    for (uint8_t method : {0x01, 0x02}) {
        const uint32_t* row = method == 1 ? kWideDistances : kNarrowDistances;
        for (unsigned d = 0; d < 256; ++d) {
            size_t reach = row[d >> 6] - (d & 0x3F);
            for (size_t before : {reach - 1, reach}) {
                for (uint8_t control : {0xC0, 0xCD, 0xCE, 0xFF}) {
                    Bytes stored = {method, 0, 0, 0, 0};
                    for (size_t at = 0; at < before; at += 63) {
                        size_t count = std::min<size_t>(63, before - at);
                        stored.push_back(static_cast<uint8_t>(count));
                        for (size_t k = 0; k < count; ++k) stored.push_back(Byte(random));
                    }
                    Append(stored, {control, static_cast<uint8_t>(d), 0x7E, 'r'});
                    Bytes tail = stored;
                    tail.resize(stored.size() + 70, 0x01);
                    ExpectSameAsReference(stored, stored.size(), stored.size(), before + 200);
                    ExpectSameAsReference(tail, tail.size(), tail.size(), before + 200);
                }
            }
        }
    }
}

}  // namespace
}  // namespace kova::testing
