// Takes a fixed-width type from <stdint.h>, which the device SDK does not ship.
#include <stdint.h>

uint32_t Twice(uint32_t v) { return v + v; }
