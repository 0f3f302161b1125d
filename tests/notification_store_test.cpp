// The simulated notification store answers as the platform documents:
// handles listed only when they fit, never given twice, records of other
// programs as large and as varied as a handheld in use keeps.
#include <gtest/gtest.h>

#include <algorithm>

#include "device.h"
#include "new_device.h"
#include "notification_store.h"
#include "state_file.h"

namespace {

SYSTEMTIME At(int year, int month, int day) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = 23;
    t.wMinute = 59;
    return t;
}

TEST(NotificationStore, HandlesAreListedOnlyWhenTheyAllFit) {
    sim::DeviceState d = NewDevice(40);
    ASSERT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv.exe", At(2026, 12, 31)));
    const struct {
        uint32_t room;
        bool ok;
        size_t given;
    } cases[] = {{0, false, 0}, {32, false, 0}, {40, false, 0}, {41, true, 41}, {500, true, 41}};
    for (const auto& c : cases) {
        const sim::HandleList list = sim::ListNotifications(d, c.room);
        EXPECT_EQ(list.ok, c.ok) << c.room;
        EXPECT_EQ(list.needed, 41U) << c.room;
        EXPECT_EQ(list.handles.size(), c.given) << c.room;
    }
    d.os.store.fails = sim::kFailList;  // it counts, then will not list
    const sim::HandleList counted = sim::ListNotifications(d, 0);
    EXPECT_FALSE(counted.ok);
    EXPECT_EQ(counted.needed, 41U);
    const sim::HandleList failed = sim::ListNotifications(d, 500);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.needed, 0U);
    EXPECT_TRUE(failed.handles.empty());
}

TEST(NotificationStore, AWithdrawnHandleNamesNothingEvenAfterNewRegistrations) {
    sim::DeviceState d = NewDevice(0);
    ASSERT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv.exe", At(2026, 12, 31)));
    const uint32_t old = sim::ListNotifications(d, 8).handles.at(0);
    ASSERT_TRUE(sim::DeviceWithdrawLaunch(d, "\\Windows\\nuv.exe"));
    ASSERT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv28.exe", At(2027, 2, 28)));
    ASSERT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv28.exe", At(2027, 2, 28)));  // replaced
    const std::vector<uint32_t> now = sim::ListNotifications(d, 8).handles;
    ASSERT_EQ(now.size(), 1U);
    EXPECT_NE(now[0], old);
    EXPECT_FALSE(sim::ReadNotification(d, old));
    for (const uint32_t never : {0U, 1U, now[0] + 4, 0xFFFFFFFFU}) {
        EXPECT_FALSE(sim::ReadNotification(d, never)) << never;
    }
    const std::optional<sim::NotificationRecord> r = sim::ReadNotification(d, now[0]);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r->application, u"\\Windows\\nuv28.exe");
    EXPECT_EQ(*r->arguments, u"AppRunAtTime");
    EXPECT_EQ(r->type, sim::kCntTime);
}

// Over a realistic store: reminders whose laid-out record passes 512 bytes,
// event notifications with no program, and our own under the stored type
// and letter case the device is set to.
TEST(NotificationStore, OtherProgramsRecordsAreAsAHandheldKeepsThem) {
    sim::DeviceState d = NewDevice(sim::kDefaultNotes);
    d.os.store = {sim::kCntClassicTime, 1, 0, 0, 0};
    ASSERT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv.exe", At(2026, 12, 31)));
    int large = 0;
    int without_program = 0;
    int ours = 0;
    for (const uint32_t h : sim::ListNotifications(d, 100).handles) {
        const sim::NotificationRecord r = *sim::ReadNotification(d, h);
        size_t bytes = 16 + 52 + (r.user ? 24 : 0);  // as ARM code sees it
        for (const auto* s : {&r.application, &r.arguments}) {
            bytes += *s ? 2 * ((*s)->size() + 1) : 0;
        }
        if (r.user) {
            bytes += 2 * (r.user->title.size() + r.user->text.size() + r.user->sound.size() + 3);
        }
        large += bytes > 512 ? 1 : 0;
        without_program += r.type == sim::kCntEvent && !r.application ? 1 : 0;
        if (r.application == u"\\WINDOWS\\NUV.EXE") {
            ++ours;
            EXPECT_EQ(r.type, sim::kCntClassicTime);
        }
    }
    EXPECT_GE(large, 3);
    EXPECT_GE(without_program, 1);
    EXPECT_EQ(ours, 1);
    EXPECT_EQ(sim::NoteCount(d), sim::kDefaultNotes);
}

TEST(NotificationStore, TheStoreHasRoomFarBeyondAHandheldAndThenRefuses) {
    sim::DeviceState d = NewDevice(sim::kDefaultNotes);
    EXPECT_EQ(sim::AddNotes(d, sim::kMaxNotes, d.os.clock_ms), sim::kMaxNotes - sim::kDefaultNotes);
    EXPECT_EQ(sim::AddNotes(d, 1, d.os.clock_ms), 0);
    EXPECT_TRUE(sim::SaneStore(d));
    EXPECT_EQ(sim::ListNotifications(d, sim::kMaxNotes).handles.size(), size_t{sim::kMaxNotes});
    sim::ClearNotes(d);
    EXPECT_EQ(sim::NoteCount(d), 0);
}

TEST(NotificationStore, SettingsAreReadAsDevsimNamesThem) {
    const struct {
        const char* text;
        bool valid;
        uint32_t type;
        uint8_t fails;
        uint8_t lost;
    } cases[] = {
        {"time", true, sim::kCntTime, 0, 0},
        {"classic,upper-case", true, sim::kCntClassicTime, 0, 0},
        {"fail-list,fail-read", true, sim::kCntTime, sim::kFailList | sim::kFailRead, 0},
        {"lose:nuv28,lose:nuv", true, sim::kCntTime, 0, 3},
        {"lose:nuv30", false, 0, 0, 0},
        {"event", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        {"time,", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const std::optional<sim::StoreSetup> s = sim::ParseStoreSettings(c.text);
        ASSERT_EQ(s.has_value(), c.valid) << c.text;
        if (s) {
            EXPECT_EQ(s->settings.run_at_time_type, c.type) << c.text;
            EXPECT_EQ(s->settings.fails, c.fails) << c.text;
            EXPECT_EQ(s->settings.lost, c.lost) << c.text;
        }
    }
}

}  // namespace
