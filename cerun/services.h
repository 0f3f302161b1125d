// The COREDLL services (the programs' seven and the setup library's), served to ARM code from the simulated device:
// arguments by the ARM procedure call standard (r0-r3, then the stack),
// the result in r0.
#pragma once

#include <cstddef>

#include "machine.h"

namespace cerun {

struct Service {
    const char* name;
    void (*serve)(Machine& m);
};

extern const Service kServices[];
extern const size_t kServiceCount;

}  // namespace cerun
