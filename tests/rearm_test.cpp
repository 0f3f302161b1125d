#include <gtest/gtest.h>

#include "rearm.h"
#include "sim_fixture.h"

namespace {

class Rearm : public SimTest {
protected:
    // The time last passed to CeRunAppAtTime for `path`, taken or refused.
    std::string RegisteredAt(const char* path) const {
        std::string at = PendingAt(path);
        for (uint32_t i = 0; i < dev.log.refused_count && i < sim::kMaxRefused; ++i) {
            if (std::string(dev.log.refused[i].path) == path) {
                at = sim::FormatLaunchTime(dev.log.refused[i].at);
            }
        }
        return at;
    }
};

struct RearmCase {
    const char* now;
    const char* nuv;
    const char* nuv28;
    const char* nuv29;
};

// How the pending launches move over a year, including the days on which a
// February row must stay in the current year although its minute has passed.
TEST_F(Rearm, RegistersEachFixerForItsNextRolloverDate) {
    const RearmCase cases[] = {
        // started by hand
        {"2008-01-10 09:30:00", "2008-12-31 23:59:00", "2008-02-28 23:59:00", "2008-02-29 23:59:00"},
        // after nuv28 in a leap year
        {"2008-02-29 00:00:00.100", "2008-12-31 23:59:00", "2009-02-28 23:59:00", "2008-02-29 23:59:00"},
        // after nuv29
        {"2008-03-01 00:00:00.100", "2008-12-31 23:59:00", "2009-02-28 23:59:00", "2009-02-29 23:59:00"},
        // after nuv
        {"2009-01-01 00:00:00.100", "2009-12-31 23:59:00", "2009-02-28 23:59:00", "2009-02-29 23:59:00"},
        // after nuv28 in a common year
        {"2009-03-01 00:00:00.100", "2009-12-31 23:59:00", "2010-02-28 23:59:00", "2010-02-29 23:59:00"},
        // February 28 after 23:59: that minute again, though it has passed
        {"2008-02-28 23:59:30.500", "2008-12-31 23:59:00", "2008-02-28 23:59:00", "2008-02-29 23:59:00"},
        {"2008-02-01 00:00:00", "2008-12-31 23:59:00", "2008-02-28 23:59:00", "2008-02-29 23:59:00"},
        // a whole day before New Year's minute: the year-end row stays in this year
        {"2008-12-31 23:59:59", "2008-12-31 23:59:00", "2009-02-28 23:59:00", "2009-02-29 23:59:00"},
        {"2011-07-15 12:00:00", "2011-12-31 23:59:00", "2012-02-28 23:59:00", "2012-02-29 23:59:00"},
    };
    for (const RearmCase& c : cases) {
        StartAt(c.now);
        RearmFixers();
        EXPECT_EQ(RegisteredAt("\\Windows\\nuv.exe"), c.nuv) << "now " << c.now;
        EXPECT_EQ(RegisteredAt("\\Windows\\nuv28.exe"), c.nuv28) << "now " << c.now;
        EXPECT_EQ(RegisteredAt("\\Windows\\nuv29.exe"), c.nuv29) << "now " << c.now;
    }
}

TEST_F(Rearm, TracesNowThenTheThreeTimesWithNothingOfNowsSecondsKept) {
    StartAt("2008-01-10 09:30:45.250");  // a Thursday
    RearmFixers();
    const std::vector<std::string> lines = TraceLines();
    ASSERT_EQ(lines.size(), 40U);
    const std::vector<std::string> now_block(lines.begin(), lines.begin() + 10);
    EXPECT_EQ(now_block, (std::vector<std::string>{
                             "---------------------", "Year:      2008", "Month:     1",
                             "Day:       10", "DayOfWeek: 4", "Hour:      9", "Min:       30",
                             "Sec:       45", "mSec:      250", "---------------------"}));
    const char* const days[] = {"Day:       31", "Day:       28", "Day:       29"};
    for (int block = 1; block <= 3; ++block) {
        const auto at = lines.begin() + block * 10;
        EXPECT_EQ(std::vector<std::string>(at + 3, at + 9),
                  (std::vector<std::string>{days[block - 1], "DayOfWeek: 0", "Hour:      23",
                                            "Min:       59", "Sec:       0", "mSec:      0"}))
            << "block " << block;
    }
    // The launch table has the same: 23:59:00.000, no weekday.
    const sim::Launch* l = sim::FindLaunch(dev, "\\Windows\\nuv.exe");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->at.wDayOfWeek, 0);
    EXPECT_EQ(l->at.wMilliseconds, 0);
}

TEST_F(Rearm, WaitsForTheShellOneSecondPerTry) {
    sim::DeviceConfig c;
    c.at = {2008, 1, 10, 9, 30, 0, 0};
    c.shell_after_s = 3;
    Start(c);
    RearmFixers();
    EXPECT_EQ(Messages(), std::vector<std::string>(3, "[RTC run] IsAPIReady ret FALSE"));
    EXPECT_EQ(dev.os.clock_ms - dev.os.start_ms, 3000);
    // Registration happens only once the shell is up: "now" is 09:30:03.
    EXPECT_NE(trace.find("Sec:       3\r\n"), std::string::npos);
    EXPECT_EQ(PendingAt("\\Windows\\nuv.exe"), "2008-12-31 23:59:00");
}

TEST_F(Rearm, DumpSystemTimeTracesDayBeforeDayOfWeek) {
    StartAt("2008-01-10 09:30:00");
    SYSTEMTIME t = {2009, 2, 6, 28, 23, 59, 7, 999};
    DumpSystemTime(t);
    EXPECT_EQ(trace,
              "---------------------\r\n"
              "Year:      2009\r\n"
              "Month:     2\r\n"
              "Day:       28\r\n"
              "DayOfWeek: 6\r\n"
              "Hour:      23\r\n"
              "Min:       59\r\n"
              "Sec:       7\r\n"
              "mSec:      999\r\n"
              "---------------------\r\n");
}

}  // namespace

namespace {

// What the setup library does on removal: CeRunAppAtTime(path, NULL)
// deletes that path's request (and no longer dereferences the null time).
TEST_F(Rearm, ANullTimeWithdrawsThePendingRequest) {
    StartAt("2011-07-15 12:00:00");
    RearmFixers();
    EXPECT_EQ(CeRunAppAtTime(const_cast<WCHAR*>(L"\\Windows\\nuv.exe"), nullptr), TRUE);
    EXPECT_EQ(CeRunAppAtTime(const_cast<WCHAR*>(L"\\Windows\\nuv.exe"), nullptr), FALSE);
    EXPECT_EQ(PendingAt("\\Windows\\nuv.exe"), "none");
    EXPECT_EQ(PendingAt("\\Windows\\nuv28.exe"), "2012-02-28 23:59:00");
    EXPECT_EQ(sim::FormatIo(io.back()), "withdraw \\Windows\\nuv.exe (none pending)");
}

}  // namespace
