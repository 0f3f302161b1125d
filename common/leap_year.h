// The Gregorian leap rule, once for every program that needs it: nuv28
// judges the year register by it, the status program which dates exist.
#pragma once

#include "platform.h"

// 1 for a leap year of the Gregorian calendar, 0 otherwise.
int32_t IsLeapYear(int32_t year);
