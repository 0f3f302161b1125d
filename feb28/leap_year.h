#pragma once

#include "platform.h"

// 1 for a leap year of the Gregorian calendar, 0 otherwise.
int32_t IsLeapYear(int32_t year);
