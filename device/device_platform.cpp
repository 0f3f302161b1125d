// Device side of the platform boundary: the seven services come from COREDLL;
// only the register bus is ours, one volatile byte access per call.
#include "platform.h"
#include "rtc_regs.h"

// Layout facts of the device build; a negative array size stops the compiler.
typedef char DeviceStringsAreUtf16[sizeof(wchar_t) == 2 ? 1 : -1];  // build with -fshort-wchar
typedef char SystemTimeIsEightWords[sizeof(SYSTEMTIME) == 16 ? 1 : -1];
typedef char OneBytePerCalendarRegister[sizeof(RtcRegisters) == 7 ? 1 : -1];

uint8_t ReadRegister(volatile uint8_t* reg) { return *reg; }

void WriteRegister(volatile uint8_t* reg, uint8_t value) { *reg = value; }
