// The RTC chip's own counting: second ticks and the midnight step, both as the
// faulty chip does them and as a correct calendar would.
#pragma once

#include <cstdint>
#include <functional>

#include "bcd.h"
#include "rtc_regs.h"

namespace sim {

enum class Hw : uint8_t {
    Chip = 0,     // counts the binary year byte as BCD and takes leap years from it
    Correct = 1,  // Gregorian month lengths, binary year
};

// Raw register values forced right after the first midnight step; bit i of
// `mask` selects byte i of RtcRegisters.
struct MidnightFault {
    uint8_t mask = 0;
    uint8_t value[7] = {};
};

// A register that changes by itself, as a failing chip's may: once
// `after_reads` calendar registers have been read in all, byte `field` of
// the registers becomes `value`, or, for the field one past them
// (kGlitchDroppedWrites), the chip starts or stops dropping writes.
struct ReadGlitch {
    uint32_t after_reads;
    uint8_t field;
    uint8_t value;
};
constexpr uint8_t kGlitchDroppedWrites = 7;
constexpr int kMaxGlitches = 64;


bool ChipTakesLeap(uint8_t year);
uint8_t ChipLastDay(uint8_t month, uint8_t year);
uint8_t TrueLastDay(uint8_t month, uint8_t year);

void MidnightStep(RtcRegisters& r, Hw hw);

// Told of each midnight step: `tick` counts the ticks of this AdvanceTicks
// call up to and including the step, from 1.
using MidnightObserver =
    std::function<void(int64_t tick, const RtcRegisters& before, const RtcRegisters& after)>;

// Runs `ticks` prescaler ticks. A run of whole valid days is taken in one
// step per day, with the same result as ticking one second at a time.
// `fault`, when armed, is applied after the first midnight step and disarmed.
void AdvanceTicks(RtcRegisters& r, Hw hw, int64_t ticks, MidnightFault* fault,
                  const MidnightObserver& observer = nullptr);

}  // namespace sim
