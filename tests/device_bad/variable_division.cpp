// Deliberately unfit for the device: ARMv4 has no divide instruction, so a
// division by a variable calls a runtime helper that COREDLL does not export.
#include <stdint.h>

uint32_t PollsPerSecond(uint32_t period_ms) { return 1000 / period_ms; }
