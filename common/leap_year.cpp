#include "leap_year.h"

int32_t IsLeapYear(int32_t year) {
    return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 1 : 0;
}
