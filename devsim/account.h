// What devsim says about a program run on the simulated device.
#pragma once

#include <string>
#include <vector>

#include "device_state.h"
#include "fixers.h"
#include "process.h"

namespace devsim {

// Everything that makes a run unclean: a crash, the limit (unless the
// caller stopped it there on purpose), an access violation, kernel mode or
// RTCEN left on. Empty for a clean run.
std::vector<std::string> RunProblems(const std::string& program, const ProcessResult& result,
                                     const sim::DeviceState& d, bool stop_intended = false);

// The closing lines: registers, pending and refused launches, and (after a
// program's run, `with_unattended`) how it used unattended mode.
std::string AccountLines(const sim::DeviceState& d, bool with_unattended = true);

// "3b"
std::string Hex2(uint8_t b);
// The year byte and the year it counts: "40 (2014)".
std::string YearText(uint8_t year);

// "3b 01 05 01 00 00 00"
std::string RegsText(const RtcRegisters& r);

// A duration for people: "50 ms", "12.5 s", "4 min 10 s", "12 h 20 min", "516 d".
std::string Duration(int64_t ms);

// "devsim: clock right", or wrong by how much, against the true time.
std::string VerdictLine(const sim::DeviceState& d);
// Whether the RTC ends right by the rule of VerdictLine.
bool ClockRight(const sim::DeviceState& d);
// The name of the clock the account judges by: "true time", or "Settings
// time" once the owner set the clock to another time on purpose.
std::string ClockName(const sim::DeviceState& d);

}  // namespace devsim
