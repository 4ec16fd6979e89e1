// Decimal digits written two at a time from a table: a listing writes
// several numbers for each of a million entries, and a division per digit
// costs more than the rest of a line.
#pragma once

#include <cstdint>
#include <cstring>

namespace kova {

inline constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

// How many decimal digits `value` has.
inline int DecimalLength(uint64_t value) {
    int length = 1;
    while (value >= 10000) {
        value /= 10000;
        length += 4;
    }
    if (value >= 100) {
        value /= 100;
        length += 2;
    }
    return value >= 10 ? length + 1 : length;
}

// Writes `value` in decimal so that it ends just before `end`, and returns
// where it starts. At most 20 characters.
inline char* DecimalEndingAt(char* end, uint64_t value) {
    while (value >= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * value, 2);
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// An index in decimal that counts up by one in place: a listing numbers a
// million rows one after another, and carrying a digit costs less than
// writing the number anew.
struct DecimalCounter {
    static constexpr int kRoom = 10;  // every 32-bit value, and one past the largest
    char text[kRoom] = {};
    int length = 0;

    void Set(uint32_t value) { length = static_cast<int>(text + kRoom - DecimalEndingAt(text + kRoom, value)); }
    const char* Digits() const { return text + kRoom - length; }
    void Next() {
        int at = kRoom - 1;
        for (; at >= kRoom - length && text[at] == '9'; --at) text[at] = '0';
        if (at >= kRoom - length) {
            ++text[at];
        } else if (length < kRoom) {
            text[at] = '1';
            ++length;
        }
    }
};

}  // namespace kova
