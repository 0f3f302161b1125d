// Two decimal digits in one byte, as the RTC's calendar registers hold them
// (0x23 is 23): the one set of conversions the simulator, devsim and the
// fuzz checker use.
#pragma once

#include <cstdint>

namespace sim {

// 10 x high digit + low digit, without validation.
inline int BcdValue(uint8_t b) {
    return 10 * (b >> 4) + (b & 0x0F);
}

// The byte for 0..99.
inline uint8_t ToBcd(int v) {
    return static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
}

// Both halves are decimal digits.
inline bool IsBcd(uint8_t b) {
    return (b & 0x0F) <= 9 && (b >> 4) <= 9;
}

// A BCD byte no greater than `max` (0x59 for a second).
inline bool IsBcdUpTo(uint8_t b, uint8_t max) {
    return (b & 0x0F) <= 9 && b <= max;
}

// The chip's increment: the low digit carries at 9, the high one wraps 0xF to 0x0.
inline uint8_t BcdInc(uint8_t b) {
    return (b & 0x0F) >= 9 ? static_cast<uint8_t>(((b >> 4) + 1) << 4)
                           : static_cast<uint8_t>(b + 1);
}

}  // namespace sim
