// Direct access to the RTC calendar registers, beneath the OS notion of time.
#pragma once

#include "rtc_regs.h"

// Base of the register block; the only global the programs keep. Its
// initializer is an address constant that the compiler places in initialised
// data (the device check fails on any static initializer).
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers)
extern volatile uint8_t* RTC_REG_BASE;

// Each operation runs inside its own kernel-mode and RTCEN bracket and
// accesses every register it names exactly once, from the highest offset down.
void ReadRtc(RtcRegisters& r);       // all seven fields
void WriteRtc(const RtcRegisters& r);      // all seven registers
void ReadRtcYear(RtcRegisters& r);   // r.year only
void WriteRtcYear(const RtcRegisters& r);  // BCDYEAR only

// Traces the snapshot as nine debug lines.
void DumpRtc(const RtcRegisters& r);

// True when the snapshot shows 23:59 on the given BCD month and date: the
// minute in which a fixer is launched and must watch.
bool IsRolloverMinute(const RtcRegisters& r, uint8_t month, uint8_t date);

// One idle pass of a watch: keep the device awake unattended, wait 100 ms.
void PausePoll();
