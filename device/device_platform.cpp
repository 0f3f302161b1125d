// Device side of the platform boundary: the seven services come from COREDLL;
// only the register bus is ours, one volatile byte access per call.
#include "platform.h"

static_assert(sizeof(wchar_t) == 2, "device strings are UTF-16: build with -fshort-wchar");

uint8_t ReadRegister(volatile uint8_t* reg) { return *reg; }

void WriteRegister(volatile uint8_t* reg, uint8_t value) { *reg = value; }
