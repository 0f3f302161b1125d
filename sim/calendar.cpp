#include "calendar.h"

#include <cctype>
#include <cstdio>

namespace sim {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[2][12] = {
        {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
        {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    };
    if (month < 1 || month > 12) {
        return 0;
    }
    return kDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool IsValid(const DateTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59 && t.ms >= 0 && t.ms <= 999;
}

// Era-based conversion (400-year cycles), exact for negative day counts too.
int64_t DaysFromCivil(int year, int month, int day) {
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = (month + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

DateTime CivilFromDays(int64_t days) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    DateTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    return t;
}

int DayOfWeek(int64_t days) {
    // 1970-01-01 was a Thursday.
    const int64_t w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

int64_t ToMs(const DateTime& t) {
    const int64_t secs = DaysFromCivil(t.year, t.month, t.day) * 86400 +
                         int64_t{t.hour} * 3600 + int64_t{t.minute} * 60 + t.second;
    return secs * kMsPerSecond + t.ms;
}

DateTime FromMs(int64_t ms) {
    int64_t days = ms / kMsPerDay;
    int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    DateTime t = CivilFromDays(days);
    t.hour = static_cast<int>(rest / 3600000);
    t.minute = static_cast<int>(rest / 60000 % 60);
    t.second = static_cast<int>(rest / 1000 % 60);
    t.ms = static_cast<int>(rest % 1000);
    return t;
}

namespace {

// Reads exactly `width` digits at `pos`.
bool Digits(const std::string& s, size_t& pos, size_t width, int& out) {
    if (pos + width > s.size()) {
        return false;
    }
    int v = 0;
    for (size_t i = 0; i < width; ++i) {
        const char c = s[pos + i];
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    pos += width;
    out = v;
    return true;
}

bool Expect(const std::string& s, size_t& pos, char c) {
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

Result<DateTime> ParseDateTime(const std::string& text) {
    DateTime t;
    size_t p = 0;
    const bool shape = Digits(text, p, 4, t.year) && Expect(text, p, '-') &&
                       Digits(text, p, 2, t.month) && Expect(text, p, '-') &&
                       Digits(text, p, 2, t.day) && Expect(text, p, ' ') &&
                       Digits(text, p, 2, t.hour) && Expect(text, p, ':') &&
                       Digits(text, p, 2, t.minute) && Expect(text, p, ':') &&
                       Digits(text, p, 2, t.second) &&
                       (p == text.size() || (Expect(text, p, '.') && Digits(text, p, 3, t.ms))) &&
                       p == text.size();
    if (!shape) {
        return Fail("'" + text + "' is not of the form YYYY-MM-DD HH:MM:SS[.mmm]");
    }
    if (!IsValid(t)) {
        return Fail("'" + text + "' is not a valid date and time");
    }
    return t;
}

std::string FormatDateTime(const DateTime& t, bool with_ms) {
    char buf[48];
    if (with_ms) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month,
                      t.day, t.hour, t.minute, t.second, t.ms);
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    }
    return buf;
}

}  // namespace sim

#include <ctime>

namespace sim {

DateTime HostLocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    DateTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second reads as :59
    t.ms = static_cast<int>(ts.tv_nsec / 1000000);
    return t;
}

}  // namespace sim
