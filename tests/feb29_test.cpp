#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "watch_feb29.h"

namespace {

class Feb29 : public SimTest {};

// 0x5A in the seconds carries straight into the next minute, so the clock
// passes midnight without ever reading 23:59:59.
constexpr uint8_t kSkips59 = 0x5A;

struct Feb29Case {
    const char* name;
    RtcRegisters start;
    sim::Hw hw;
    sim::MidnightFault fault;
    std::vector<std::string> messages;
    RtcRegisters written;  // the write's registers, when one is expected
};

TEST_F(Feb29, WritesMarch1InTheLastSecondOrOverAnOverrun) {
    const sim::MidnightFault none;
    const Feb29Case cases[] = {
        // 2008-02-29 23:59:59 -> 03-01 00:00:00 written before the chip steps
        {"last second", {0x3A, 0x02, 6, 0x29, 0x23, 0x59, 0x30}, sim::Hw::Chip, none,
         {"[RTC0229] fix date 3-1", "[RTC0229] Fix OK"}, {0x3A, 0x03, 6, 0x01, 0, 0, 0}},
        {"last second on a correct chip", {0x3A, 0x02, 6, 0x29, 0x23, 0x59, 0x58},
         sim::Hw::Correct, none,
         {"[RTC0229] fix date 3-1", "[RTC0229] Fix OK"}, {0x3A, 0x03, 6, 0x01, 0, 0, 0}},
        // 59th second missed; the chip counts on to 02-30
        {"overrun to 02-30", {0x3A, 0x02, 6, 0x29, 0x23, 0x59, kSkips59}, sim::Hw::Chip, none,
         {"[RTC0229] fix date 3-1 (special case)", "[RTC0229] Fix OK"},
         {0x3A, 0x03, 7, 0x01, 0, 0, 0}},
        {"overrun to non-BCD 02-2a", {0x3A, 0x02, 6, 0x29, 0x23, 0x59, kSkips59}, sim::Hw::Chip,
         SimTest::ForceMonthDate(0, 0x2A),
         {"[RTC0229] fix date 3-1 (special case)", "[RTC0229] Fix OK"},
         {0x3A, 0x03, 7, 0x01, 0, 0, 0}},
        {"overrun to 02-31", {0x3A, 0x02, 6, 0x29, 0x23, 0x59, kSkips59}, sim::Hw::Chip,
         SimTest::ForceMonthDate(0, 0x31),
         {"[RTC0229] fix date 3-1 (special case)", "[RTC0229] Fix OK"},
         {0x3A, 0x03, 7, 0x01, 0, 0, 0}},
        // 0x40 is leap to the chip: it steps to March by itself
        {"chip steps right", {0x40, 0x02, 7, 0x29, 0x23, 0x59, kSkips59}, sim::Hw::Chip, none,
         {"[RTC0229] Fix OK"}, {}},
    };
    for (const Feb29Case& c : cases) {
        StartRegs(c.start, 3600, c.hw, c.fault);
        ASSERT_TRUE(RunGuarded(WatchFeb29Rollover)) << c.name;
        EXPECT_EQ(Messages(), c.messages) << c.name;
        EXPECT_EQ(TraceLines().size(), c.messages.size()) << c.name << ": no snapshot expected";
        const bool fixed = c.messages.size() == 2;
        ASSERT_EQ(dev.log.write_ops, fixed ? 1U : 0U) << c.name;
        EXPECT_EQ(dev.chip.regs.month, 0x03) << c.name;
        EXPECT_EQ(dev.chip.regs.date, 0x01) << c.name;
        if (fixed) {
            const sim::WriteOp& op = dev.log.write_log[0];
            EXPECT_EQ(op.mask, 0x7F) << c.name;
            EXPECT_EQ(std::memcmp(&op.after, &c.written, 7), 0) << c.name;
        }
    }
}

TEST_F(Feb29, LastSecondWriteComesBeforeTheChipsMidnight) {
    StartRegs({0x3A, 0x02, 6, 0x29, 0x23, 0x59, 0x30});
    ASSERT_TRUE(RunGuarded(WatchFeb29Rollover));
    ASSERT_EQ(dev.log.write_ops, 1U);
    const sim::WriteOp& op = dev.log.write_log[0];
    EXPECT_EQ(op.before.sec, 0x59);
    EXPECT_EQ(op.before.date, 0x29);
    EXPECT_LT(op.at_ms - dev.os.start_ms, 30000);  // midnight is 30 s after the start
    EXPECT_EQ(dev.chip.regs.day, 6) << "the weekday is not advanced";
}

TEST_F(Feb29, ReadingsItMustLeaveAlone) {
    struct Case {
        const char* name;
        sim::MidnightFault fault;
    };
    const Case cases[] = {
        {"March 29", SimTest::ForceMonthDate(0x03, 0x29)},
        {"February set back to the 15th", SimTest::ForceMonthDate(0x02, 0x15)},
        {"still 02-29 after midnight", SimTest::ForceMonthDate(0x02, 0x29)},
    };
    for (const Case& c : cases) {
        StartRegs({0x3A, 0x02, 6, 0x29, 0x23, 0x59, kSkips59}, 600, sim::Hw::Chip, c.fault);
        EXPECT_FALSE(RunGuarded(WatchFeb29Rollover)) << c.name << ": the watch ended";
        EXPECT_EQ(dev.log.write_ops, 0U) << c.name;
        EXPECT_TRUE(Messages().empty()) << c.name;
    }
}

TEST_F(Feb29, AClockStuckOn29thIsMovedAtItsNext235959) {
    StartRegs({0x3A, 0x02, 6, 0x29, 0x23, 0x59, kSkips59}, 2 * 86400, sim::Hw::Chip,
              SimTest::ForceMonthDate(0x02, 0x29));
    ASSERT_TRUE(RunGuarded(WatchFeb29Rollover));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"[RTC0229] fix date 3-1", "[RTC0229] Fix OK"}));
    ASSERT_EQ(dev.log.write_ops, 1U);
    EXPECT_EQ(dev.log.write_log[0].before.hour, 0x23);
    // A whole day after the missed midnight.
    EXPECT_GE(dev.log.write_log[0].at_ms - dev.os.start_ms, 86400 * 1000 - 1000);
}

TEST_F(Feb29, StartedOutsideTheMinuteTracesNothing) {
    const RtcRegisters starts[] = {
        {0x3A, 0x02, 6, 0x29, 0x23, 0x58, 0x59},
        {0x3A, 0x02, 5, 0x28, 0x23, 0x59, 0x30},
        {0x3A, 0x03, 7, 0x01, 0x00, 0x00, 0x00},
    };
    for (const RtcRegisters& r : starts) {
        StartRegs(r);
        ASSERT_TRUE(RunGuarded(WatchFeb29Rollover));
        EXPECT_TRUE(trace.empty());
        EXPECT_EQ(dev.os.clock_ms, dev.os.start_ms);
    }
}

}  // namespace
