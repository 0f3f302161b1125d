#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "watch_year.h"

namespace {

struct YearCase {
    const char* name;
    RtcRegisters start;  // the registers at launch
    sim::Hw hw;
    int midnight_year;   // forced after the midnight step, or -1
    std::vector<std::string> messages;
    uint8_t final_year;
};

class YearEnd : public SimTest {};

TEST_F(YearEnd, CorrectsAForeignYearOnceAndEndsOnTheBinarySuccessor) {
    const YearCase cases[] = {
        // 2008-12-31 -> 2009: the chip counts 0x3A up as BCD to 0x40
        {"chip 2008", {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x30}, sim::Hw::Chip, -1,
         {"[RTC] fix year 3b (59)", "[RTC] Fix OK"}, 0x3B},
        // 2007 -> 2008: 0x39 goes to 0x40 on the chip, 0x3A is right
        {"chip 2007", {0x39, 0x12, 2, 0x31, 0x23, 0x59, 0x00}, sim::Hw::Chip, -1,
         {"[RTC] fix year 3a (58)", "[RTC] Fix OK"}, 0x3A},
        // 1999 -> 2000: 0x31 to 0x32 is right by chance on the chip
        {"chip 1999", {0x31, 0x12, 6, 0x31, 0x23, 0x59, 0x45}, sim::Hw::Chip, -1,
         {"[RTC] Fix OK"}, 0x32},
        {"correct 2008", {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x30}, sim::Hw::Correct, -1,
         {"[RTC] Fix OK"}, 0x3B},
        // 2205 -> wraps: 0xFF is followed by 0x00
        {"wrap stepped right", {0xFF, 0x12, 1, 0x31, 0x23, 0x59, 0x50}, sim::Hw::Correct, -1,
         {"[RTC] Fix OK"}, 0x00},
        {"wrap stepped wrong", {0xFF, 0x12, 1, 0x31, 0x23, 0x59, 0x50}, sim::Hw::Correct, 0x05,
         {"[RTC] fix year 0 (0)", "[RTC] Fix OK"}, 0x00},
        // any second of 23:59 starts the watch
        {"last second", {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x59}, sim::Hw::Chip, -1,
         {"[RTC] fix year 3b (59)", "[RTC] Fix OK"}, 0x3B},
    };
    for (const YearCase& c : cases) {
        sim::DeviceConfig config;
        config.regs_given = true;
        config.regs = c.start;
        config.hw = c.hw;
        if (c.midnight_year >= 0) {
            config.fault.mask = 1;
            config.fault.value[0] = static_cast<uint8_t>(c.midnight_year);
        }
        Start(config);
        ASSERT_TRUE(RunGuarded(WatchYearRollover)) << c.name;

        const std::vector<std::string> lines = TraceLines();
        ASSERT_GE(lines.size(), 9U) << c.name;
        EXPECT_EQ(lines[0], "--------------------- RTCcontent") << c.name;
        EXPECT_EQ(Messages(), c.messages) << c.name;
        EXPECT_EQ(dev.chip.regs.year, c.final_year) << c.name;
        // Only the year register is ever written, and within one poll of midnight.
        const bool fixed = c.messages.size() == 2;
        ASSERT_EQ(dev.log.write_ops, fixed ? 1U : 0U) << c.name;
        if (fixed) {
            EXPECT_EQ(dev.log.write_log[0].mask, 0x01) << c.name;
            EXPECT_EQ(dev.log.write_log[0].after.month, 0x01) << c.name;
            EXPECT_EQ(dev.log.write_log[0].after.date, 0x01) << c.name;
            const int64_t midnight = dev.os.start_ms + (60 - sim::BcdValue(c.start.sec)) * 1000;
            EXPECT_GE(dev.log.write_log[0].at_ms, midnight) << c.name;
            EXPECT_LT(dev.log.write_log[0].at_ms, midnight + 100) << c.name;
        }
        EXPECT_EQ(dev.os.kmode, 0) << c.name;
        EXPECT_EQ(dev.log.violation_count, 0U) << c.name;
    }
}

TEST_F(YearEnd, StartedOutsideTheLastMinuteOnlyTracesTheSnapshot) {
    const RtcRegisters starts[] = {
        {0x3A, 0x12, 4, 0x31, 0x23, 0x58, 0x59},  // 23:58:59
        {0x3B, 0x01, 5, 0x01, 0x00, 0x00, 0x00},  // already New Year
        {0x3A, 0x12, 3, 0x30, 0x23, 0x59, 0x30},  // December 30
        {0x3A, 0x06, 1, 0x15, 0x12, 0x00, 0x00},
    };
    for (const RtcRegisters& r : starts) {
        StartRegs(r);
        ASSERT_TRUE(RunGuarded(WatchYearRollover));
        EXPECT_EQ(TraceLines().size(), 9U);
        EXPECT_TRUE(Messages().empty());
        EXPECT_EQ(dev.os.clock_ms, dev.os.start_ms) << "the watcher slept";
        EXPECT_EQ(dev.os.unattended_requests, 0U);
        EXPECT_EQ(dev.log.write_ops, 0U);
    }
}

TEST_F(YearEnd, KeepsRewritingAYearTheChipWillNotTake) {
    sim::DeviceConfig c;
    c.regs_given = true;
    c.regs = {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x58};
    c.ignore_writes = true;
    c.limit_s = 5;
    Start(c);
    EXPECT_FALSE(RunGuarded(WatchYearRollover));
    const std::vector<std::string> m = Messages();
    // From 00:00:00 to the limit at 00:00:03, one rewrite per 100 ms poll.
    EXPECT_GE(m.size(), 25U);
    for (const std::string& line : m) {
        EXPECT_EQ(line, "[RTC] fix year 3b (59)");
    }
    EXPECT_EQ(dev.chip.regs.year, 0x40);
}

TEST_F(YearEnd, AYearThatNeverChangesIsNeverWritten) {
    sim::DeviceConfig c;
    c.regs_given = true;
    c.regs = {0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x58};
    c.fault.mask = 1;
    c.fault.value[0] = 0x3A;  // the chip keeps the old year at midnight
    c.limit_s = 10;
    Start(c);
    EXPECT_FALSE(RunGuarded(WatchYearRollover));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(dev.log.write_ops, 0U);
    EXPECT_EQ(dev.os.unattended_requests, 101U);  // one per poll, the last one cut short
}

}  // namespace
