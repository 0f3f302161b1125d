#include <gtest/gtest.h>

#include "bad_watchers.h"
#include "harness.h"
#include "watch_feb28.h"
#include "watch_feb29.h"
#include "watch_year.h"

namespace {

using fuzz::Program;

// Inputs in the harness's format: program byte, the seven registers, flags.
const std::vector<uint8_t> kNewYear2008 = {0, 0x3A, 0x12, 0x04, 0x31, 0x23, 0x59, 0x30, 0x01};
const std::vector<uint8_t> kFeb28of2008 = {1, 0x3A, 0x02, 0x05, 0x28, 0x23, 0x59, 0x30, 0x01};
const std::vector<uint8_t> kFeb29of2008 = {2, 0x3A, 0x02, 0x06, 0x29, 0x23, 0x59, 0x30, 0x01};

std::string Check(const std::vector<uint8_t>& input, fuzz::Watcher w, Program p) {
    return fuzz::CheckRun(fuzz::RunInput(input.data(), input.size(), w, p)).why();
}

TEST(FuzzChecker, AcceptsTheRealWatchers) {
    EXPECT_EQ(Check(kNewYear2008, WatchYearRollover, Program::Nuv), "");
    EXPECT_EQ(Check(kFeb28of2008, WatchFeb28Rollover, Program::Nuv28), "");
    EXPECT_EQ(Check(kFeb29of2008, WatchFeb29Rollover, Program::Nuv29), "");
}

TEST(FuzzChecker, RejectsWatchersThatBreakARule) {
    struct Case {
        fuzz::Watcher watcher;
        Program program;
        const std::vector<uint8_t>* input;
        const char* breach;
    };
    const Case cases[] = {
        {WatchYearWritesOldPlus16, Program::Nuv, &kNewYear2008, "nuv writes year 4a, not 3b"},
        {WatchYearGivesUpEarly, Program::Nuv, &kNewYear2008, "watch ended before the year read 3b"},
        {WatchYearLeavesRtcenSet, Program::Nuv, &kNewYear2008, "RTCCON not read after the transfers"},
        {WatchYearMisquotesItsFix, Program::Nuv, &kNewYear2008, "trace messages differ"},
        {WatchFeb28ClearsTheWeekday, Program::Nuv28, &kFeb28of2008,
         "something other than its target"},
        {WatchFeb29WritesTooEarly, Program::Nuv29, &kFeb29of2008,
         "writes over a reading it must leave alone"},
    };
    for (const Case& c : cases) {
        const std::string breach = Check(*c.input, c.watcher, c.program);
        EXPECT_NE(breach.find(c.breach), std::string::npos)
            << "want '" << c.breach << "', got: '" << breach << "'";
    }
}

}  // namespace
