// The fixer programs as the host side knows them, in launch-table order.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

#include "fixer_list.h"

namespace sim {

struct Fixer {
    const char* name;
    uint8_t month;  // the rollover minute the fixer watches: 23:59 on this BCD date
    uint8_t date;
    const char* path;  // as the programs register it
};

#define SIM_FIXER(name, dir, watcher, month, date, path) {#name, month, date, path},
inline constexpr Fixer kFixers[] = {FIXER_PROGRAMS(SIM_FIXER)};
#undef SIM_FIXER
inline constexpr int kFixerCount = static_cast<int>(std::size(kFixers));

// The status program the Start menu's shortcut starts.
struct StatusProgram {
    const char* name;
    const char* path;
};
#define SIM_STATUS(name, dir, path) {#name, path}
inline constexpr StatusProgram kStatusProgram = STATUS_PROGRAM(SIM_STATUS);
#undef SIM_STATUS

// Index of the fixer called `name` in kFixers, or -1.
int FixerIndex(const std::string& name);

// The fixers' names for a sentence: "nuv, nuv28 or nuv29" (`last` "or"),
// "nuv, nuv28 and nuv29" (`last` "and").
std::string FixerNames(const char* last);

}  // namespace sim
