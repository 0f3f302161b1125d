// Runs one watcher and re-arming on a simulated device that the input bytes
// describe: the starting registers (any bytes), the calendar, what the
// hardware shows after a midnight step and at later reads, dropped writes,
// and how long the shell takes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "invariants.h"

namespace fuzz {

using Watcher = void (*)();

// One run to make: the program and its watcher, and the device to run on.
struct Case {
    Program program;
    Watcher watcher;
    sim::DeviceConfig config;
};

// The case an input describes. Program and watcher are taken from the
// input's first byte, unless `watcher` is given (a stand-in for `program`).
Case DecodeInput(const uint8_t* data, size_t size, Watcher watcher = nullptr,
                 Program program = Program::Nuv);

// Runs the watcher and re-arming on the case's device and records it.
Recording RunCase(const Case& c);

// RunCase(DecodeInput(...)).
Recording RunInput(const uint8_t* data, size_t size, Watcher watcher = nullptr,
                   Program program = Program::Nuv);

}  // namespace fuzz
