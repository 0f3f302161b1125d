// Proleptic Gregorian calendar arithmetic on plain numbers: the simulator's
// notion of true time, independent of the RTC model.
#pragma once

#include <cstdint>
#include <string>

#include "result.h"

namespace sim {

struct DateTime {
    int year = 1950;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int ms = 0;
};

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerDay = 86400 * kMsPerSecond;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValid(const DateTime& t);

// Days since 1970-01-01; negative before it.
int64_t DaysFromCivil(int year, int month, int day);
DateTime CivilFromDays(int64_t days);
// 0 = Sunday.
int DayOfWeek(int64_t days);

// Milliseconds since 1970-01-01 00:00:00 of the simulated device's local time.
int64_t ToMs(const DateTime& t);
DateTime FromMs(int64_t ms);

// "YYYY-MM-DD HH:MM:SS" with an optional ".mmm".
Result<DateTime> ParseDateTime(const std::string& text);
// "YYYY-MM-DD HH:MM:SS", plus ".mmm" when with_ms.
std::string FormatDateTime(const DateTime& t, bool with_ms = false);

}  // namespace sim

namespace sim {
// The host's current local date and time.
DateTime HostLocalTime();
}  // namespace sim
