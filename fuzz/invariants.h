// What any run of a watcher must respect, checked from the record of its
// register accesses and its trace alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device.h"
#include "result.h"

namespace fuzz {

enum class Program { Nuv, Nuv28, Nuv29 };

struct Recording {
    Program program;
    std::vector<sim::IoEvent> io;  // every access and mode change, in order
    std::string trace;             // the debug output
    bool finished;                 // the watcher returned (it was not stopped at the limit)
    uint32_t violations;           // access rule breaches the device recorded
    bool spun = false;             // stopped for working without the clock moving
};

// Code that loops without sleeping spins at one instant of device time and
// would never reach any limit: after this much work (traces and register
// accesses) at one clock value, a run is stopped as a failure.
class SpinGuard {
public:
    static constexpr int kMaxWorkAtOneInstant = 10000;
    // Counts one piece of work at `clock_ms`; true once the run spins.
    bool Spins(int64_t clock_ms) {
        if (clock_ms != clock_ms_) {
            clock_ms_ = clock_ms;
            work_ = 0;
        }
        return ++work_ > kMaxWorkAtOneInstant;
    }

private:
    int64_t clock_ms_ = -1;
    int work_ = 0;
};

// Whether the run kept every rule; if not, the first breach found.
sim::Status CheckRun(const Recording& run);

}  // namespace fuzz
