#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "device.h"
#include "rtc_model.h"

namespace {

using sim::Hw;

std::string Hex(const RtcRegisters& r) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02x-%02x-%02x (day %x) %02x:%02x:%02x", r.year, r.month,
                  r.date, r.day, r.hour, r.min, r.sec);
    return buf;
}

bool Same(const RtcRegisters& a, const RtcRegisters& b) { return std::memcmp(&a, &b, 7) == 0; }

TEST(Bcd, CountsUpWithTheDigitCarry) {
    const uint8_t cases[][2] = {{0x00, 0x01}, {0x08, 0x09}, {0x09, 0x10}, {0x19, 0x20},
                                {0x59, 0x60}, {0x99, 0xA0}, {0x3A, 0x40}, {0x3F, 0x40},
                                {0xF9, 0x00}, {0xFF, 0x00}};
    for (const auto& c : cases) {
        EXPECT_EQ(sim::BcdInc(c[0]), c[1]) << std::hex << int{c[0]};
    }
}

// Deliberately plain references, walking the calendar one day at a time with
// their own month lengths.
struct RefDay {
    int year, month, day, weekday;  // weekday 1 = Sunday, as BCDDAY
};

int RefMonthLength(int month, bool leap) {
    if (month == 2) {
        return leap ? 29 : 28;
    }
    return (month == 4 || month == 6 || month == 9 || month == 11) ? 30 : 31;
}

void RefNextDay(RefDay& d, bool leap) {
    d.weekday = d.weekday == 7 ? 1 : d.weekday + 1;
    if (++d.day <= RefMonthLength(d.month, leap)) {
        return;
    }
    d.day = 1;
    if (++d.month <= 12) {
        return;
    }
    d.month = 1;
    ++d.year;
}

uint8_t Bcd(int v) { return static_cast<uint8_t>((v / 10) * 16 + v % 10); }

// 1950-01-01 00:00 was a Sunday.
const RtcRegisters k1950 = {0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00};

TEST(CorrectCalendar, MatchesTheGregorianCalendarEveryDayFrom1950To2205) {
    RtcRegisters r = k1950;
    RefDay ref = {1950, 1, 1, 1};
    while (ref.year <= 2205) {
        const bool leap = (ref.year % 4 == 0 && ref.year % 100 != 0) || ref.year % 400 == 0;
        sim::AdvanceTicks(r, Hw::Correct, 86400, nullptr);
        RefNextDay(ref, leap);
        const RtcRegisters want = {static_cast<uint8_t>(ref.year - 1950), Bcd(ref.month),
                                   static_cast<uint8_t>(ref.weekday), Bcd(ref.day), 0, 0, 0};
        ASSERT_TRUE(Same(r, want) || ref.year == 2206)
            << ref.year << "-" << ref.month << "-" << ref.day << ": " << Hex(r);
    }
}

TEST(ChipCalendar, CountsItsOwnBcdYearsAndLeapRuleFrom1950For256Years) {
    // The chip's view: the year byte as two digits, the high one hexadecimal.
    RtcRegisters r = k1950;
    RefDay ref = {0, 1, 1, 1};  // year: 16 x high digit + low digit
    for (int days = 0; days < 256 * 366; ++days) {
        const int hi = ref.year / 16;
        const int lo = ref.year % 16;
        const bool leap = (10 * hi + lo) % 4 == 0;
        sim::AdvanceTicks(r, Hw::Chip, 86400, nullptr);
        RefNextDay(ref, leap);
        if (ref.year % 16 == 10) {
            ref.year += 6;  // the low digit carries after 9
        }
        ref.year %= 256;
        const RtcRegisters want = {static_cast<uint8_t>(ref.year), Bcd(ref.month),
                                   static_cast<uint8_t>(ref.weekday), Bcd(ref.day), 0, 0, 0};
        ASSERT_TRUE(Same(r, want)) << "day " << days << ": " << Hex(r) << " want " << Hex(want);
    }
}

struct Step {
    const char* what;
    Hw hw;
    RtcRegisters before;  // at 23:59:59
    RtcRegisters after;   // one tick later
};

TEST(MidnightStep, ChipAndCorrectCalendarsAtTheirEdges) {
    const Step steps[] = {
        {"2008-02-28: 0x3A is common to the chip", Hw::Chip,
         {0x3A, 0x02, 5, 0x28, 0x23, 0x59, 0x59}, {0x3A, 0x03, 6, 0x01, 0, 0, 0}},
        {"2008-02-28 correct", Hw::Correct,
         {0x3A, 0x02, 5, 0x28, 0x23, 0x59, 0x59}, {0x3A, 0x02, 6, 0x29, 0, 0, 0}},
        {"2014-02-28: 0x40 is leap to the chip", Hw::Chip,
         {0x40, 0x02, 6, 0x28, 0x23, 0x59, 0x59}, {0x40, 0x02, 7, 0x29, 0, 0, 0}},
        {"2014-02-29 chip goes on to March", Hw::Chip,
         {0x40, 0x02, 7, 0x29, 0x23, 0x59, 0x59}, {0x40, 0x03, 1, 0x01, 0, 0, 0}},
        {"2009-02-29 on a chip that takes the year as common", Hw::Chip,
         {0x3B, 0x02, 1, 0x29, 0x23, 0x59, 0x59}, {0x3B, 0x02, 2, 0x30, 0, 0, 0}},
        {"02-30 on the chip", Hw::Chip,
         {0x3B, 0x02, 2, 0x30, 0x23, 0x59, 0x59}, {0x3B, 0x02, 3, 0x31, 0, 0, 0}},
        {"02-31 on the chip", Hw::Chip,
         {0x3B, 0x02, 3, 0x31, 0x23, 0x59, 0x59}, {0x3B, 0x03, 4, 0x01, 0, 0, 0}},
        {"2008-12-31: chip year 0x3A -> 0x40", Hw::Chip,
         {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x59}, {0x40, 0x01, 5, 0x01, 0, 0, 0}},
        {"2008-12-31 correct", Hw::Correct,
         {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x59}, {0x3B, 0x01, 5, 0x01, 0, 0, 0}},
        {"2012-02-28: 0x3E has no BCD low digit, common to the chip", Hw::Chip,
         {0x3E, 0x02, 3, 0x28, 0x23, 0x59, 0x59}, {0x3E, 0x03, 4, 0x01, 0, 0, 0}},
        {"2000-02-28: 0x32 reads as 32, leap to the chip as well", Hw::Chip,
         {0x32, 0x02, 2, 0x28, 0x23, 0x59, 0x59}, {0x32, 0x02, 3, 0x29, 0, 0, 0}},
        {"2100-02-28 correct: no leap day", Hw::Correct,
         {0x96, 0x02, 1, 0x28, 0x23, 0x59, 0x59}, {0x96, 0x03, 2, 0x01, 0, 0, 0}},
        {"2205-12-31 correct wraps to 0x00", Hw::Correct,
         {0xFF, 0x12, 4, 0x31, 0x23, 0x59, 0x59}, {0x00, 0x01, 5, 0x01, 0, 0, 0}},
        {"weekday 7 and odd weekday 0", Hw::Chip,
         {0x3A, 0x05, 7, 0x10, 0x23, 0x59, 0x59}, {0x3A, 0x05, 1, 0x11, 0, 0, 0}},
        {"month byte 0x13 ends its month at 0x31", Hw::Chip,
         {0x3A, 0x13, 0, 0x31, 0x23, 0x59, 0x59}, {0x40, 0x01, 1, 0x01, 0, 0, 0}},
        {"date 0x3A is past the end", Hw::Correct,
         {0x3A, 0x04, 1, 0x3A, 0x23, 0x59, 0x59}, {0x3A, 0x05, 2, 0x01, 0, 0, 0}},
    };
    for (const Step& s : steps) {
        RtcRegisters r = s.before;
        sim::AdvanceTicks(r, s.hw, 1, nullptr);
        EXPECT_TRUE(Same(r, s.after)) << s.what << ": " << Hex(r) << " want " << Hex(s.after);
    }
}

TEST(AdvanceTicks, WholeDaysAtOnceMatchOneSecondAtATime) {
    std::mt19937 rng(20081231);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> ticks(1, 3 * 86400);
    for (int i = 0; i < 200; ++i) {
        RtcRegisters start;
        auto* b = reinterpret_cast<uint8_t*>(&start);
        for (int k = 0; k < 7; ++k) {
            b[k] = static_cast<uint8_t>(byte(rng));
        }
        if (i % 2 == 0) {  // half of them with a sane time of day
            start.hour = Bcd(byte(rng) % 24);
            start.min = Bcd(byte(rng) % 60);
            start.sec = Bcd(byte(rng) % 60);
        }
        const Hw hw = i % 3 == 0 ? Hw::Correct : Hw::Chip;
        const int n = ticks(rng);
        sim::MidnightFault fast_fault;
        fast_fault.mask = 0x08;
        fast_fault.value[3] = 0x30;
        sim::MidnightFault slow_fault = fast_fault;
        RtcRegisters fast = start;
        RtcRegisters slow = start;
        sim::AdvanceTicks(fast, hw, n, &fast_fault);
        for (int k = 0; k < n; ++k) {
            sim::AdvanceTicks(slow, hw, 1, &slow_fault);
        }
        ASSERT_TRUE(Same(fast, slow)) << "from " << Hex(start) << " +" << n << ": " << Hex(fast)
                                      << " vs " << Hex(slow);
        EXPECT_EQ(fast_fault.mask, slow_fault.mask);
    }
}

}  // namespace
