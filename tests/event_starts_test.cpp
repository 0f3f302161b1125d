// Programs started at a system event: kept once per registration,
// withdrawn all at once, refused with their reason, listed in the
// notification store and gone with a cold boot, as the platform keeps them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device.h"
#include "event_starts.h"
#include "new_device.h"
#include "notification_store.h"
#include "owner_device.h"
#include "state_file.h"

namespace {

const char kStatus[] = "\\Windows\\clockfix.exe";

TEST(EventStarts, DocumentedEventsAreTakenOthersRefused) {
    const struct {
        int32_t event;
        bool taken;
    } cases[] = {{1, true},   {12, true},  {15, true},   {2, true},
                 {16, false}, {99, false}, {-1, false}, {0x7FFFFFFF, false}};
    for (const auto& c : cases) {
        sim::DeviceState d = NewDevice();
        sim::BeginRun(d, 60, 0, false);
        EXPECT_EQ(sim::DeviceRunAppAtEvent(d, kStatus, c.event), c.taken) << c.event;
        EXPECT_EQ(sim::EventStartPaths(d, c.event).size(), c.taken ? 1U : 0U) << c.event;
        EXPECT_EQ(d.log.event_refused_count, c.taken ? 0U : 1U) << c.event;
        if (!c.taken) {
            EXPECT_EQ(d.log.event_refused[0].event, c.event);
            EXPECT_EQ(d.log.event_refused[0].refusal, sim::kNoSuchEvent);
        }
    }
}

// The platform replaces a program's timed launch but documents no such
// thing for its event starts: registering twice is two starts.
TEST(EventStarts, EachRegistrationIsKeptAndNoneWithdrawsThatProgramsOnly) {
    sim::DeviceState d = NewDevice();
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTimeChange));
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, "\\WINDOWS\\CLOCKFIX.EXE", sim::kEventTimeChange));
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTzChange));
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, "\\Windows\\other.exe", sim::kEventTimeChange));
    EXPECT_EQ(sim::EventStartPaths(d, sim::kEventTimeChange),
              (std::vector<std::string>{kStatus, "\\WINDOWS\\CLOCKFIX.EXE",
                                        "\\Windows\\other.exe"}));
    // Withdrawn under another spelling of the path, as the platform compares paths.
    EXPECT_TRUE(sim::DeviceRunAppAtEvent(d, "\\windows\\ClockFix.exe", sim::kEventNone));
    EXPECT_EQ(sim::EventStartPaths(d, sim::kEventTimeChange),
              std::vector<std::string>{"\\Windows\\other.exe"});
    EXPECT_TRUE(sim::EventStartPaths(d, sim::kEventTzChange).empty());
    // Withdrawing what is not there is no failure.
    EXPECT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventNone));
}

TEST(EventStarts, AFreedSlotDoesNotChangeTheOrderTheyWereMadeIn) {
    sim::DeviceState d = NewDevice();
    for (const char* path : {"\\a.exe", "\\b.exe"}) {
        ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, path, sim::kEventTimeChange));
    }
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, "\\a.exe", sim::kEventNone));
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, "\\c.exe", sim::kEventTimeChange));
    EXPECT_EQ(sim::EventStartPaths(d, sim::kEventTimeChange),
              (std::vector<std::string>{"\\b.exe", "\\c.exe"}));
}

TEST(EventStarts, ARefusedRegistrationNamesItsReason) {
    const std::string long_path(sim::kPathBytes, 'x');  // no room for its NUL
    sim::DeviceState failing = NewDevice();
    failing.os.store.fails = sim::kFailRegister;
    EXPECT_FALSE(sim::DeviceRunAppAtEvent(failing, kStatus, sim::kEventTimeChange));
    EXPECT_EQ(failing.log.event_refused[0].refusal, sim::kStoreFailed);
    sim::DeviceState longest = NewDevice();
    EXPECT_TRUE(sim::DeviceRunAppAtEvent(longest, long_path.substr(1), sim::kEventTimeChange));
    EXPECT_EQ(sim::EventStartPaths(longest, sim::kEventTimeChange).at(0), long_path.substr(1));
    sim::DeviceState d = NewDevice();
    EXPECT_FALSE(sim::DeviceRunAppAtEvent(d, long_path, sim::kEventTimeChange));
    EXPECT_EQ(d.log.event_refused[0].refusal, sim::kPathTooLong);
    for (int i = 0; i < sim::kMaxEventStarts; ++i) {
        ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, "\\p" + std::to_string(i) + ".exe", 1)) << i;
    }
    EXPECT_FALSE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTimeChange));
    EXPECT_EQ(d.log.event_refused[1].refusal, sim::kTableFull);
    EXPECT_EQ(d.log.event_refused_count, 2U);
}

// Past the log's room, refusals are counted and the log keeps the first.
TEST(EventStarts, RefusalsPastTheLogAreCountedNotWritten) {
    sim::DeviceState d = NewDevice();
    sim::BeginRun(d, 60, 0, false);
    for (int i = 0; i <= sim::kMaxRefused; ++i) {
        EXPECT_FALSE(sim::DeviceRunAppAtEvent(d, kStatus, 100 + i));
    }
    EXPECT_EQ(d.log.event_refused_count, static_cast<uint32_t>(sim::kMaxRefused + 1));
    EXPECT_EQ(d.log.event_refused[sim::kMaxRefused - 1].event, 100 + sim::kMaxRefused - 1);
    EXPECT_EQ(d.log.violation_count, 0U);  // what follows the log is untouched
    EXPECT_TRUE(sim::CheckState(d));
}

TEST(EventStarts, TheStoreListsThemAsEventNotificationsWithTheirCommandLines) {
    sim::DeviceState d = NewDevice();
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTimeChange));
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTzChange));
    const sim::HandleList list = sim::ListNotifications(d, 8);
    ASSERT_EQ(list.handles.size(), 2U);
    const char16_t* expected[] = {u"AppRunAfterTimeChange", u"AppRunAfterTzChange"};
    const int32_t events[] = {sim::kEventTimeChange, sim::kEventTzChange};
    for (size_t i = 0; i < 2; ++i) {
        const std::optional<sim::NotificationRecord> r = sim::ReadNotification(d, list.handles[i]);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->type, sim::kCntEvent);
        EXPECT_EQ(r->event, static_cast<uint32_t>(events[i]));
        EXPECT_EQ(*r->application, u"\\Windows\\clockfix.exe");
        EXPECT_EQ(*r->arguments, expected[i]);
    }
    EXPECT_TRUE(sim::SaneStore(d));
    // Withdrawn and made again: new handles, the old ones name nothing.
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventNone));
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTimeChange));
    EXPECT_FALSE(sim::ReadNotification(d, list.handles[0]));
    EXPECT_GT(sim::ListNotifications(d, 8).handles.at(0), list.handles[1]);
}

TEST(EventStarts, AColdBootClearsThemAndASoftResetKeepsThem) {
    for (const bool cold : {false, true}) {
        sim::DeviceState d = NewDevice();
        ASSERT_TRUE(sim::DeviceRunAppAtEvent(d, kStatus, sim::kEventTimeChange));
        if (cold) {
            sim::ColdBoot(d, false);
        } else {
            sim::EndProcess(d);  // what a soft reset does to the running program
        }
        EXPECT_EQ(sim::EventStartPaths(d, sim::kEventTimeChange).size(), cold ? 0U : 1U);
    }
}

TEST(EventStarts, AStateWithAnEventOrCommandLineTheDeviceNeverMakesIsRefused) {
    sim::DeviceState good = NewDevice();
    ASSERT_TRUE(sim::DeviceRunAppAtEvent(good, kStatus, sim::kEventTimeChange));
    sim::SetCommandLine(good, "AppRunAfterTimeChange");
    ASSERT_TRUE(sim::CheckState(good));
    EXPECT_EQ(sim::CommandLine(good), "AppRunAfterTimeChange");
    sim::DeviceState bad_event = good;
    bad_event.os.event_starts[0].event = 99;
    sim::DeviceState open_path = good;
    std::memset(open_path.os.event_starts[0].path, 'x', sim::kPathBytes);
    sim::DeviceState open_line = good;
    std::memset(open_line.os.command_line, 'x', sim::kCommandLineBytes);
    sim::DeviceState future_handle = good;
    future_handle.os.event_starts[0].handle = good.os.next_notification + 4;
    for (const sim::DeviceState* d : {&bad_event, &open_path, &open_line, &future_handle}) {
        const sim::Status checked = sim::CheckState(*d);
        ASSERT_FALSE(checked);
        EXPECT_EQ(checked.why(), "corrupt event starts or command line");
    }
}

}  // namespace
