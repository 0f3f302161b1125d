// libFuzzer target: any input is a device and a hardware behaviour; the
// watcher it selects must keep every invariant on it.
#include <cstdio>
#include <cstdlib>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Recording run = fuzz::RunInput(data, size);
    const sim::Status kept = fuzz::CheckRun(run);
    if (!kept) {
        std::fprintf(stderr, "invariant broken: %s\n", kept.why().c_str());
        std::abort();
    }
    return 0;
}
