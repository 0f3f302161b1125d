#include <gtest/gtest.h>

#include "leap_year.h"
#include "sim_fixture.h"
#include "watch_feb28.h"

namespace {

TEST(LeapYear, GregorianRule) {
    const int32_t cases[][2] = {{1900, 0}, {2000, 1}, {2008, 1}, {2009, 0}, {2100, 0},
                                {1996, 1}, {2400, 1}, {1950, 0}, {2204, 1}, {0, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsLeapYear(c[0]), c[1]) << c[0];
    }
}

struct Feb28Case {
    const char* name;
    uint8_t year;
    sim::Hw hw;
    sim::MidnightFault fault;
    std::vector<std::string> messages;  // after the snapshot
    uint8_t month, date;                // final
};

class Feb28 : public SimTest {};

TEST_F(Feb28, WritesTheDayAfterFebruary28WhenTheHardwareStepsElsewhere) {
    const sim::MidnightFault none;
    const Feb28Case cases[] = {
        // 2008-02-28 -> 03-01 on the chip, which takes 0x3A as common
        {"2008 chip", 0x3A, sim::Hw::Chip, none,
         {"[RTC0228] is leap year = 1", "[RTC0228] fix date 2-29", "[RTC0228] Fix OK"}, 0x02, 0x29},
        {"2008 correct", 0x3A, sim::Hw::Correct, none,
         {"[RTC0228] is leap year = 1", "[RTC0228] Fix OK"}, 0x02, 0x29},
        // 2014-02-28 -> 02-29 on the chip, which takes 0x40 as leap
        {"2014 chip", 0x40, sim::Hw::Chip, none,
         {"[RTC0228] is leap year = 0", "[RTC0228] fix date 3-1", "[RTC0228] Fix OK"}, 0x03, 0x01},
        {"2000 chip right by chance", 0x32, sim::Hw::Chip, none,
         {"[RTC0228] is leap year = 1", "[RTC0228] Fix OK"}, 0x02, 0x29},
        {"2100 is no leap year", 0x96, sim::Hw::Chip, none,
         {"[RTC0228] is leap year = 0", "[RTC0228] fix date 3-1", "[RTC0228] Fix OK"}, 0x03, 0x01},
        // 02-01 shares the date byte of March 1: still wrong, fixed at once
        {"common year 02-01", 0x3B, sim::Hw::Correct, SimTest::ForceMonthDate(0x02, 0x01),
         {"[RTC0228] is leap year = 0", "[RTC0228] fix date 3-1", "[RTC0228] Fix OK"}, 0x03, 0x01},
        {"leap year 03-29", 0x3A, sim::Hw::Correct, SimTest::ForceMonthDate(0x03, 0x29),
         {"[RTC0228] is leap year = 1", "[RTC0228] fix date 2-29", "[RTC0228] Fix OK"}, 0x02, 0x29},
        {"03-28 is not February 28", 0x3B, sim::Hw::Correct, SimTest::ForceMonthDate(0x03, 0x28),
         {"[RTC0228] is leap year = 0", "[RTC0228] fix date 3-1", "[RTC0228] Fix OK"}, 0x03, 0x01},
        {"clock set to July 15", 0x3B, sim::Hw::Correct, SimTest::ForceMonthDate(0x07, 0x15),
         {"[RTC0228] is leap year = 0", "[RTC0228] fix date 3-1", "[RTC0228] Fix OK"}, 0x03, 0x01},
    };
    for (const Feb28Case& c : cases) {
        StartRegs({c.year, 0x02, 5, 0x28, 0x23, 0x59, 0x30}, 3600, c.hw, c.fault);
        ASSERT_TRUE(RunGuarded(WatchFeb28Rollover)) << c.name;
        EXPECT_EQ(TraceLines().front(), "--------------------- RTCcontent") << c.name;
        EXPECT_EQ(Messages(), c.messages) << c.name;
        EXPECT_EQ(dev.chip.regs.month, c.month) << c.name;
        EXPECT_EQ(dev.chip.regs.date, c.date) << c.name;
        const bool fixed = c.messages.size() == 3;
        ASSERT_EQ(dev.log.write_ops, fixed ? 1U : 0U) << c.name;
        if (fixed) {
            // Written in the first poll after midnight, all seven registers,
            // year, weekday and time as just read.
            const sim::WriteOp& op = dev.log.write_log[0];
            EXPECT_EQ(op.mask, 0x7F) << c.name;
            EXPECT_LT(op.at_ms - dev.os.start_ms, 30000 + 100) << c.name;
            RtcRegisters want = op.before;
            want.month = c.month;
            want.date = c.date;
            EXPECT_EQ(std::memcmp(&op.after, &want, 7), 0) << c.name;
            EXPECT_EQ(op.after.day, 6) << c.name;
        }
    }
}

TEST_F(Feb28, LeapDecisionComesFromTheFirstSnapshotOnly) {
    // 2008 at start; the chip turns up 03-01 of "2009" at midnight. The
    // target stays February 29 and the year byte is left as read.
    sim::MidnightFault f;
    f.mask = 0x01;
    f.value[0] = 0x3B;
    StartRegs({0x3A, 0x02, 5, 0x28, 0x23, 0x59, 0x58}, 3600, sim::Hw::Chip, f);
    ASSERT_TRUE(RunGuarded(WatchFeb28Rollover));
    EXPECT_EQ(Messages()[1], "[RTC0228] fix date 2-29");
    EXPECT_EQ(dev.chip.regs.year, 0x3B);
    EXPECT_EQ(dev.chip.regs.month, 0x02);
    EXPECT_EQ(dev.chip.regs.date, 0x29);
}

TEST_F(Feb28, StartedOutsideTheMinuteTracesSnapshotAndLeapLineOnly) {
    const RtcRegisters starts[] = {
        {0x3A, 0x02, 5, 0x28, 0x23, 0x58, 0x59},
        {0x3A, 0x02, 6, 0x29, 0x00, 0x00, 0x00},
        {0x3B, 0x01, 3, 0x10, 0x09, 0x30, 0x00},
    };
    for (const RtcRegisters& r : starts) {
        StartRegs(r);
        ASSERT_TRUE(RunGuarded(WatchFeb28Rollover));
        EXPECT_EQ(TraceLines().size(), 10U);
        EXPECT_EQ(Messages().size(), 1U);
        EXPECT_EQ(dev.os.clock_ms, dev.os.start_ms);
        EXPECT_EQ(dev.log.write_ops, 0U);
    }
}

}  // namespace
