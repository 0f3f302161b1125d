// The register map as the host side walks it: the programs' calendar table
// (RTC_CALENDAR_REGISTERS in rtc_regs.h) with the names people read.
#pragma once

#include <cstdint>
#include <iterator>

#include "rtc_regs.h"

namespace sim {

struct CalendarRegister {
    uint32_t offset;
    uint8_t RtcRegisters::*field;
    const char* name;        // "BCDYEAR"
    const char* field_name;  // "year", as --midnight names it
};

#define SIM_CALENDAR_REGISTER(reg, field) {reg, &RtcRegisters::field, #reg, #field},
// Entry i fills byte i of RtcRegisters.
inline constexpr CalendarRegister kCalendarRegisters[] = {
    RTC_CALENDAR_REGISTERS(SIM_CALENDAR_REGISTER)};
#undef SIM_CALENDAR_REGISTER
inline constexpr int kCalendarCount = static_cast<int>(std::size(kCalendarRegisters));

// The index in kCalendarRegisters (and byte of RtcRegisters) of the register
// at `offset`, or -1 when none of them lies there.
int CalendarIndex(uint32_t offset);
// The index of the register that fills `field`.
int CalendarIndex(uint8_t RtcRegisters::*field);

// The bit of a register mask (MidnightFault, WriteOp) for `field`.
inline uint8_t MaskBit(uint8_t RtcRegisters::*field) {
    return static_cast<uint8_t>(1U << CalendarIndex(field));
}

}  // namespace sim
