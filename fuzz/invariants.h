// What any run of a watcher must respect, checked from the record of its
// register accesses and its trace alone.
#pragma once

#include <string>
#include <vector>

#include "device.h"

namespace fuzz {

enum class Program { Nuv, Nuv28, Nuv29 };

struct Recording {
    Program program;
    std::vector<sim::IoEvent> io;  // every access and mode change, in order
    std::string trace;             // the debug output
    bool finished;                 // the watcher returned (it was not stopped at the limit)
    uint32_t violations;           // access rule breaches the device recorded
};

// Empty when the run kept every rule; otherwise the first breach found.
std::string CheckRun(const Recording& run);

}  // namespace fuzz
