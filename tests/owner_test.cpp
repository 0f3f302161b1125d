// Every procedure of the owner's guide, run on the simulated device with
// the host build and with the device files under cerun: both must print
// the same, and what they print must be what the guide promises.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "owner_action.h"
#include "owner_device.h"
#include "state_file.h"
#include "run_process.h"

namespace {

// A fresh directory for the state files of one test.
std::string TempDir() {
    char dir[] = "/tmp/owner_test_XXXXXX";
    return mkdtemp(dir) != nullptr ? dir : "";
}

ProcessOutput Owner(const std::string& state, const std::string& at,
                    const std::vector<std::string>& actions, bool arm) {
    std::vector<std::string> args = {DEVSIM_PATH, "owner", "--state", state, "--at", at};
    if (arm) {
        args.push_back("--arm");
    }
    args.insert(args.end(), actions.begin(), actions.end());
    return RunProcess(args);
}

struct Procedure {
    const char* what;
    const char* at;  // the true time the device starts at
    std::vector<std::string> actions;
    int exit_code;
    std::vector<std::string> shown;      // lines the output holds
    std::vector<std::string> not_shown;  // lines it must not hold
};

const char kInstalled[] = "devsim: installed \\Windows\\nuv.exe, \\Windows\\nuv28.exe, "
                          "\\Windows\\nuv29.exe, \\Windows\\clockfix.exe, "
                          "\\Windows\\Start Menu\\Programs\\Clock fix.lnk";
const char kArmedNewYear[] = "devsim: pending \\Windows\\nuv.exe 2026-12-31 23:59:00";
const char kArmedFeb28[] = "devsim: pending \\Windows\\nuv28.exe 2027-02-28 23:59:00";
const char kNoFeb29[] = "devsim: refused \\Windows\\nuv29.exe 2027-02-29 23:59:00 (no such date: "
                        "February 29 of a common year)";
const char kStart[] = "start \\Windows\\Start Menu\\Programs\\Clock fix.lnk";
const char kDay[] = "2026-12-10 12:00:00";
// What Clock fix shows when all is set, on 10 December 2026.
const char kOn[] = "devsim: Clock fix shows: \"Clock fix is on. Your handheld will check its "
                   "clock at 23:59 (11:59 PM) on 31 December 2026 and 28 February 2027.\"";

const Procedure kProcedures[] = {
    {"install from the cabinet: the box says it is on; all set, no tap needed",
     kDay,
     {"install"},
     0,
     {"devsim: setup.dll Install_Init returned 0", kInstalled,
      "devsim: setup.dll Install_Exit returned 0",
      "devsim: clockfix started by setup.dll, exited 0 at 2026-12-10 12:00:00.000", kOn,
      "devsim: file \\Windows\\Start Menu\\Programs\\Clock fix.lnk -> \\Windows\\clockfix.exe",
      kArmedNewYear, kArmedFeb28, kNoFeb29, "devsim: clock right"},
     {}},
    {"installed in the March before a leap year, the box names 29 February too",
     "2027-03-10 12:00:00",
     {"install"},
     0,
     {"devsim: Clock fix shows: \"Clock fix is on. Your handheld will check its clock at 23:59 "
      "(11:59 PM) on 31 December 2027, 28 February 2028 and 29 February 2028.\"",
      "devsim: pending \\Windows\\nuv29.exe 2028-02-29 23:59:00"},
     {}},
    {"tapping Clock fix at any time sets the alarms again and shows the same box",
     kDay,
     {"install", kStart, kStart},
     0,
     {"devsim: clockfix started by hand, exited 0 at 2026-12-10 12:00:00.000", kOn,
      kArmedNewYear, kArmedFeb28},
     {}},
    {"the manual route: copy the four files, tap clockfix",
     kDay,
     {"copy", "start \\Windows\\clockfix.exe"},
     0,
     {"devsim: clockfix started by hand, exited 0 at 2026-12-10 12:00:00.000", kOn, kArmedNewYear,
      kArmedFeb28},
     {"devsim: file \\Windows\\Start Menu\\Programs\\Clock fix.lnk -> \\Windows\\clockfix.exe"}},
    {"a missing file: the box says to install again",
     kDay,
     {"install", "delete \\Windows\\nuv28.exe", kStart},
     0,
     {"devsim: Clock fix shows: \"Clock fix is not complete: nuv28.exe is missing from My "
      "Device, Windows. Install Clock fix again from the copy on your PC.\""},
     {}},
    {"after a hard reset, installing before setting the date: the box says to set it",
     kDay,
     {"install", "hard-reset", "install"},
     1,
     {"devsim: hard reset: files and launches gone, the RTC set to 2003-01-01 12:00:00",
      "devsim: Clock fix shows: \"The handheld's clock shows 1 January 2003, a date before Clock "
      "fix was made, so it cannot be right. Set the date and time first (Start, Settings, "
      "System tab, Clock & Alarms), then tap Start, Programs, Clock fix again.\""},
     {}},
    {"after a hard reset, set the date and install again: all set, and the shortcut shows it",
     kDay,
     {"install", "hard-reset", "set-clock", "install", kStart},
     0,
     {"devsim: clock set to 2026-12-10 12:00:00", kOn, kArmedNewYear, kArmedFeb28,
      "devsim: clock right"},
     {}},
    {"the last step for a box that keeps coming back: a soft reset, then a tap",
     kDay,
     {"install", "soft-reset", kStart},
     0,
     {"devsim: soft reset: files, launches and the clock kept",
      "devsim: clockfix started by hand, exited 0 at 2026-12-10 12:00:00.000", kOn},
     {}},
    {"a soft reset keeps everything; setting the clock past a launch runs it at once",
     kDay,
     {"install", "soft-reset", "set-clock 2026-12-31 23:59:30"},
     0,
     {"devsim: soft reset: files, launches and the clock kept",
      "devsim: nuv started by its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 "
      "00:00:00.150",
      "devsim: pending \\Windows\\nuv.exe 2027-12-31 23:59:00",
      "devsim: clock right for the time set in Settings (21 d 11 h ahead of the true time)"},
     {}},
    {"the rehearsal in December: setting the clock back sets this New Year again, no tap",
     kDay,
     {"install", "set-clock 2026-12-31 23:58", "wait +3min", "set-clock"},
     0,
     {"2026  Dec 31: chip year 50 (2030), nuv wrote 4d (2027) (wrong 50 ms)",
      "devsim: clockfix started by the time change, exited 0 at 2026-12-10 12:03:00.250",
      kArmedNewYear, kArmedFeb28, "devsim: clock right"},
     {"devsim: pending \\Windows\\nuv.exe 2027-12-31 23:59:00"}},
    {"a rehearsal in January: setting the clock back sets this February again, no tap",
     "2027-01-10 12:00:00",
     {"install", "set-clock 2027-12-31 23:58", "wait +3min", "set-clock"},
     0,
     {"devsim: pending \\Windows\\nuv.exe 2027-12-31 23:59:00",
      "devsim: pending \\Windows\\nuv28.exe 2027-02-28 23:59:00"},
     {"devsim: pending \\Windows\\nuv28.exe 2028-02-28 23:59:00"}},
    {"after the rehearsal the real New Year and February are guarded, with no tap",
     kDay,
     {"install", "set-clock 2026-12-31 23:58", "wait +3min", "set-clock", "wait 2027-03-01 00:05"},
     0,
     {"devsim: nuv started by its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 "
      "00:00:00.400",
      "devsim: nuv28 started by its launch at 2027-02-28 23:59:00, exited 0 at 2027-03-01 "
      "00:00:00.300",
      "devsim: clock right"},
     {"unguarded"}},
    {"a flat battery, the date set by hand and Clock fix installed again: guarded as before",
     kDay,
     {"install", "flat-battery", "set-clock", "install", "set-clock 2026-12-31 23:58",
      "wait +3min", "set-clock", "wait 2027-01-01 00:05"},
     0,
     {"devsim: nuv started by its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 "
      "00:00:00.150",
      "devsim: clock right"},
     {"unguarded"}},
    {"a time zone change starts Clock fix silently; the launches stay at 23:59 local",
     kDay,
     {"install", "time-zone +1h", "wait 2027-01-01 00:05"},
     0,
     {"devsim: time zone changed: the clock moved ahead 1 h to 2026-12-10 13:00:00",
      "devsim: clockfix started by the time zone change, exited 0 at 2026-12-10 13:00:00.000",
      "devsim: nuv started by its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 "
      "00:00:00.150",
      "devsim: clock right for the time set in Settings (1 h ahead of the true time)"},
     {"unguarded"}},
    {"the clock set by hand after an unguarded New Year sets this February again",
     kDay,
     {"copy", "start \\Windows\\clockfix.exe", "delete \\Windows\\nuv.exe",
      "wait 2027-01-01 00:05", "set-clock"},
     1,
     {"2026  Dec 31: chip year 50 (2030), unguarded",
      "devsim: clockfix started by the time change, exited 0 at 2027-01-01 00:05:00.000",
      kArmedFeb28, "devsim: clock right"},
     {"devsim: pending \\Windows\\nuv28.exe 2031-02-28 23:59:00"}},
    {"the manual route tapped once follows changes of the clock as well",
     kDay,
     {"copy", "start \\Windows\\clockfix.exe", "set-clock 2026-12-31 23:58", "wait +3min",
      "set-clock"},
     0,
     {"devsim: clockfix started by the time change, exited 0 at 2026-12-10 12:03:00.250",
      kArmedNewYear, kArmedFeb28},
     {}},
    {"installed by hand, the box names File Explorer, not the Start menu",
     kDay,
     {"copy", "delete \\Windows\\nuv28.exe", "start \\Windows\\clockfix.exe"},
     0,
     {"devsim: Clock fix shows: \"Clock fix is not complete: nuv28.exe is missing from My "
      "Device, Windows. Copy it again from the folder manual-install on your PC into My Device, "
      "Windows, then open File Explorer, My Device, Windows, and tap clockfix again.\""},
     {}},
    {"a flat battery resets the clock to the cold boot's time",
     kDay,
     {"install", "flat-battery"},
     1,
     {"devsim: battery left flat: files and launches gone, the RTC set to 2003-01-01 12:00:00",
      "devsim: rtc 35 01 04 01 12 00 00 (the chip's registers; year 35 is 2003)",
      "devsim: no files"},
     {kArmedNewYear}},
    {"removing leaves no file, no alarm and no start at a change of the clock",
     kDay,
     {"install", "uninstall", "start \\Windows\\nuv.exe", "set-clock"},
     1,
     {"devsim: setup.dll Uninstall_Init returned 0", "devsim: setup.dll Uninstall_Exit returned 0",
      "devsim: \\Windows\\nuv.exe not started by hand: no such file", "devsim: no files"},
     {kArmedNewYear, kArmedFeb28, "devsim: on time change", "devsim: on time zone change",
      "started by the time change"}},
    {"deleting the files by hand leaves alarms that find nothing",
     kDay,
     {"copy", "start \\Windows\\clockfix.exe", "delete \\Windows\\nuv.exe",
      "delete \\Windows\\nuv28.exe", "delete \\Windows\\nuv29.exe",
      "delete \\Windows\\clockfix.exe", "wait 2027-01-01 00:05"},
     1,
     {"devsim: \\Windows\\nuv.exe not started by its launch at 2026-12-31 23:59:00: no such "
      "file",
      "2026  Dec 31: chip year 50 (2030), unguarded",
      // The chip's 2030 makes the February launch due at once: it finds nothing too.
      "devsim: \\Windows\\nuv28.exe not started by its launch at 2027-02-28 23:59:00 on the "
      "handheld's clock (true time 2027-01-01 00:00:00.250): no such file",
      "devsim: clock wrong by 1096 d"},
     {kArmedNewYear}},
    {"a launch the wrong clock makes due names both clocks; an unguarded New Year fails",
     kDay,
     {"copy", "start \\Windows\\clockfix.exe", "delete \\Windows\\nuv.exe",
      "wait 2027-01-01 00:05"},
     1,
     {"devsim: nuv28 started by its launch at 2027-02-28 23:59:00 on the handheld's clock (true "
      "time 2027-01-01 00:00:00.250), exited 0 at 2027-01-01 00:00:00.250 true time",
      "2026  Dec 31: chip year 50 (2030), unguarded", "devsim: clock wrong by 1096 d"},
     {}},
};

TEST(OwnersGuide, EveryProcedureDoesWhatTheGuideSaysOnBothPaths) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    int n = 0;
    for (const Procedure& p : kProcedures) {
        SCOPED_TRACE(p.what);
        const std::string host_state = dir + "/host" + std::to_string(n);
        const std::string arm_state = dir + "/arm" + std::to_string(n++);
        const ProcessOutput host = Owner(host_state, p.at, p.actions, false);
        const ProcessOutput arm = Owner(arm_state, p.at, p.actions, true);
        EXPECT_EQ(host.exit_code, p.exit_code) << host.out << host.err;
        EXPECT_EQ(arm.exit_code, host.exit_code);
        EXPECT_EQ(arm.out, host.out);
        EXPECT_EQ(arm.err, host.err);
        const std::string out = Unwrapped(host.out);
        for (const std::string& line : p.shown) {
            EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
        }
        for (const std::string& line : p.not_shown) {
            EXPECT_EQ(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
        }
        unlink(host_state.c_str());
        unlink(arm_state.c_str());
    }
    rmdir(dir.c_str());
}

// The status box on a handheld whose notification store is kept as a real
// one keeps it: full of other programs' notifications (records larger than
// the program's first buffer, event ones with no program), our own under
// any timed type or in capitals, and a store that loses, moves, refuses or
// will not show what it was given.
struct StoreCase {
    const char* what;
    const char* store;  // --store
    std::vector<std::string> actions;
    int exit_code;
    const char* box;  // what Clock fix shows, the last time it shows it
};

const char kBoxOn[] = "Clock fix is on. Your handheld will check its clock at 23:59 (11:59 PM) "
                      "on 31 December 2026 and 28 February 2027.";
const char kBoxSetUnchecked[] = "Clock fix has set your handheld to check its clock at 23:59 "
                                "(11:59 PM) on 31 December 2026 and 28 February 2027; the "
                                "handheld did not let it check.";
const std::string kBusy = "reminders 200";

const StoreCase kStoreCases[] = {
    {"an empty store", "empty", {"install"}, 0, kBoxOn},
    {"200 more notifications, ours kept in capitals: install and tap",
     "upper-case", {kBusy, "install", kStart}, 0, kBoxOn},
    {"ours kept as CNT_CLASSICTIME", "classic", {kBusy, "install"}, 0, kBoxOn},
    {"ours kept as CNT_PERIOD", "period", {kBusy, "install"}, 0, kBoxOn},
    {"a launch kept at another time is not on", "move:nuv28", {kBusy, "install"}, 0,
     "Clock fix could not set the handheld to check its clock on 28 February 2027. Tap Start, "
     "Programs, Clock fix again. If this message comes back, install Clock fix again."},
    {"a request taken and then lost", "lose:nuv", {kBusy, "install"}, 0,
     "Clock fix could not set the handheld to check its clock on 31 December 2026. Tap Start, "
     "Programs, Clock fix again. If this message comes back, install Clock fix again."},
    {"every request refused", "fail-register", {kBusy, "install"}, 0,
     "Clock fix could not set the handheld to check its clock on 31 December 2026 and 28 "
     "February 2027. Tap Start, Programs, Clock fix again. If this message comes back, "
     "install Clock fix again."},
    {"a store that will not list: what was set, no advice to install", "fail-list",
     {kBusy, "install"}, 0, kBoxSetUnchecked},
    {"a store that will not show a record", "fail-read", {kBusy, "install"}, 0,
     kBoxSetUnchecked},
    {"refused on a store with nothing at all in it: install again helps",
     "empty,fail-register", {"install"}, 0,
     "Clock fix could not set the handheld to check its clock on 31 December 2026 and 28 "
     "February 2027. Tap Start, Programs, Clock fix again. If this message comes back, "
     "install Clock fix again."},
    {"a request lost, and long records unread for want of memory: what was set, no advice to "
     "install", "fail-alloc,lose:nuv", {"install"}, 0, kBoxSetUnchecked},
    {"...and for the list of a busy store", "fail-alloc", {kBusy, "install"}, 0,
     kBoxSetUnchecked},
    {"a store that grew between the count and the read is read again", "grow-once",
     {kBusy, "install"}, 0, kBoxOn},
    {"...and read whole: a lost request is not set", "grow-once,lose:nuv", {kBusy, "install"}, 0,
     "Clock fix could not set the handheld to check its clock on 31 December 2026. Tap Start, "
     "Programs, Clock fix again. If this message comes back, install Clock fix again."},
    {"a missing file on a busy store", "upper-case",
     {kBusy, "install", "delete \\Windows\\nuv28.exe", kStart}, 0,
     "Clock fix is not complete: nuv28.exe is missing from My Device, Windows. Install Clock "
     "fix again from the copy on your PC."},
    {"a clock before the release on a busy store", "upper-case",
     {"install", "hard-reset", kBusy, "install"}, 1,
     "The handheld's clock shows 1 January 2003, a date before Clock fix was made, so it "
     "cannot be right. Set the date and time first (Start, Settings, System tab, Clock & "
     "Alarms), then tap Start, Programs, Clock fix again."},
};

TEST(OwnersGuide, TheStatusBoxReadsTheStoreAsAHandheldKeepsItOnBothPaths) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    int n = 0;
    for (const StoreCase& c : kStoreCases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> actions = {"--store", c.store};
        actions.insert(actions.end(), c.actions.begin(), c.actions.end());
        const std::string states[] = {dir + "/host" + std::to_string(n),
                                      dir + "/arm" + std::to_string(n++)};
        const ProcessOutput host = Owner(states[0], kDay, actions, false);
        const ProcessOutput arm = Owner(states[1], kDay, actions, true);
        EXPECT_EQ(host.exit_code, c.exit_code) << host.out << host.err;
        EXPECT_EQ(arm.exit_code, host.exit_code);
        EXPECT_EQ(arm.out, host.out);
        const std::string out = Unwrapped(host.out);
        const size_t last = out.rfind("devsim: Clock fix shows: \"");
        ASSERT_NE(last, std::string::npos) << out;
        EXPECT_EQ(out.substr(last, out.find('\n', last) - last),
                  "devsim: Clock fix shows: \"" + std::string(c.box) + "\"");
        for (const std::string& state : states) {
            unlink(state.c_str());
        }
    }
    rmdir(dir.c_str());
}

// The status program's box comes to the front with the icon its message
// calls for, on both paths: the style the device recorded, read back.
TEST(OwnersGuide, EveryStatusBoxComesToTheFrontWithItsIcon) {
    constexpr uint32_t kInFront = 0x00010000;  // MB_SETFOREGROUND
    const struct {
        const char* store;
        uint32_t style;
    } cases[] = {{"time", kInFront | 0x40}, {"fail-read", kInFront | 0x40},
                 {"fail-register", kInFront | 0x30}};
    const std::string dir = TempDir();
    for (const auto& c : cases) {
        for (const bool arm : {false, true}) {
            const std::string state = dir + "/state";
            const ProcessOutput r = Owner(state, kDay, {"--store", c.store, "install"}, arm);
            ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
            sim::Result<sim::DeviceState*> d = sim::OpenStateFile(state);
            ASSERT_TRUE(d) << d.why();
            EXPECT_EQ((*d)->log.box_style, c.style) << c.store << (arm ? " --arm" : "");
            EXPECT_EQ((*d)->log.box_hidden, 0);
            sim::CloseStateFile(*d);
            unlink(state.c_str());
        }
    }
    rmdir(dir.c_str());
}

// Over 2007-2012, a hard reset in December 2009 (the RTC keeping time)
// and a reinstall a month later: the New Year between them is unguarded.
TEST(OwnersGuide, YearsWithEventsReportTheUnguardedRolloverBetweenThem) {
    const std::string dir = TempDir();
    const std::string events = dir + "/events";
    {
        FILE* f = std::fopen(events.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("# hard reset, then set the clock and install a month later\n"
                   "2009-12-10 12:00 hard-reset rtc-kept\n"
                   "2010-01-10 12:00 set-clock\r\n"
                   "2010-01-10 12:01 install\n",
                   f);
        std::fclose(f);
    }
    const std::vector<std::string> args = {DEVSIM_PATH, "years", "--from", "2007-01-01 00:00:00",
                                           "--to", "2012-12-31 12:00:00", "--events", events};
    const ProcessOutput host = RunProcess(args);
    std::vector<std::string> arm_args = args;
    arm_args.push_back("--arm");
    const ProcessOutput arm = RunProcess(arm_args);
    EXPECT_EQ(host.exit_code, 1) << host.err;
    EXPECT_EQ(arm.out, host.out);
    const std::string out = Unwrapped(host.out);
    EXPECT_NE(out.find("2009  Dec 10: hard reset: files and launches gone, the RTC kept time;\n"
                       "      Dec 31: chip year 40 (2014), unguarded\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Dec 31: chip year 40 (2014), nuv wrote 3d (2011)"), std::string::npos);
    EXPECT_NE(out.find(" unguarded=1 worst_wrong_ms=820800900 "), std::string::npos) << out;
    unlink(events.c_str());
    rmdir(dir.c_str());
}

TEST(OwnerActions, BadActionsAndEventListsAreRefusedWithTheReason) {
    const struct {
        const char* events;
        const char* why;
    } cases[] = {
        {"2009-01-01 12:00 dance", "line 1: 'dance' is not an owner's action"},
        {"2009-01-01 12:00 wait +3min", "line 1: wait has no place in an event list"},
        {"2009-01-01 12:00 start", "line 1: start needs a path"},
        {"2009-01-01 12:00 hard-reset gently", "takes rtc-kept or nothing, not 'gently'"},
        {"2009-01-01 12:00 install now", "line 1: install takes nothing, not 'now'"},
        {"2009-02-30 12:00 install", "line 1: '2009-02-30 12:00:00' is not a valid date"},
        {"2009-01-01 install", "line 1: '2009-01-01 install' is not of the form"},
        {"\n2009-01-02 12:00 install\n2009-01-01 12:00 uninstall",
         "line 3: the events are not in time order"},
        {"2009-01-01 12:00 set-clock 2009-13-01 00:00", "set-clock '2009-13-01 00:00:00'"},
    };
    for (const auto& c : cases) {
        const sim::Result<std::vector<devsim::OwnerEvent>> events = devsim::ParseEvents(c.events);
        ASSERT_FALSE(events) << c.events;
        EXPECT_NE(events.why().find(c.why), std::string::npos) << events.why();
    }
    const sim::Result<devsim::OwnerAction> wait = devsim::ParseOwnerAction("wait +3x");
    ASSERT_FALSE(wait);
    EXPECT_EQ(wait.why(), "wait takes TIME or +N with s, min, h or d, not '+3x'");
}

// A new time zone moves the clock by whole minutes or hours, either way, as
// far as the zones lie apart (UTC-12 to UTC+14) and no further.
TEST(OwnerActions, ATimeZoneChangeTakesASignedShiftOfAtMost26Hours) {
    const struct {
        const char* text;
        std::optional<int64_t> shift_min;
    } cases[] = {
        {"time-zone +1h", 60},      {"time-zone -30min", -30}, {"time-zone +26h", 26 * 60},
        {"time-zone -1560min", -1560}, {"time-zone +0h", 0},   {"time-zone +27h", std::nullopt},
        {"time-zone 1h", std::nullopt}, {"time-zone +1d", std::nullopt},
        {"time-zone +90s", std::nullopt}, {"time-zone -h", std::nullopt},
        {"time-zone", std::nullopt}, {"time-zone +1hmin", std::nullopt},
    };
    for (const auto& c : cases) {
        const sim::Result<devsim::OwnerAction> a = devsim::ParseOwnerAction(c.text);
        ASSERT_EQ(static_cast<bool>(a), c.shift_min.has_value()) << c.text;
        if (a) {
            EXPECT_EQ(a->kind, devsim::OwnerAction::Kind::TimeZone);
            EXPECT_EQ(a->wait_ms, *c.shift_min * 60000) << c.text;
        } else {
            EXPECT_EQ(a.why().rfind("time-zone takes +N or -N with min or h, at most 26 h", 0),
                      0U) << a.why();
        }
    }
}

// A fixer's own writes to the registers put the chip right; they are not a
// change of the system time, and start nothing.
TEST(OwnersGuide, TheFixersOwnWritesStartNothing) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    for (const bool arm : {false, true}) {
        const std::string state = dir + (arm ? "/arm" : "/host");
        const ProcessOutput out = Owner(state, kDay, {"install", "wait 2027-03-01 00:05"}, arm);
        EXPECT_NE(out.out.find("nuv wrote 4d (2027)"), std::string::npos) << out.out;
        EXPECT_EQ(out.out.find("by the time"), std::string::npos) << out.out;
        unlink(state.c_str());
    }
    rmdir(dir.c_str());
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The platform starts Clock fix for a change of the clock or of the time
// zone with no box; the owner's tap, and the installer's start, show one.
// However often it was tapped, each change of the clock starts it once,
// silently: it withdraws its event starts before it registers them again.
TEST(OwnersGuide, OnlyATapOrTheInstallerShowsTheBoxAndEachChangeStartsItOnce) {
    const struct {
        std::vector<std::string> actions;
        size_t boxes;
        size_t silent_starts;
    } cases[] = {
        {{"install", "set-clock"}, 1, 1},
        {{"install", "time-zone -2h", "time-zone +2h"}, 1, 2},
        {{"install", kStart, "set-clock"}, 2, 1},
        {{"install", kStart, kStart, "time-zone +1h"}, 3, 1},
        {{"copy", "set-clock"}, 0, 0},  // never tapped: nothing registered
        {{"copy", "start \\Windows\\clockfix.exe", "set-clock 2026-12-20 10:00"}, 1, 1},
    };
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    for (const auto& c : cases) {
        for (const bool arm : {false, true}) {
            const std::string state = dir + (arm ? "/arm" : "/host");
            const ProcessOutput out = Owner(state, kDay, c.actions, arm);
            const std::string what = c.actions.back() + (arm ? " --arm" : "") + "\n" + out.out;
            EXPECT_EQ(Count(out.out, " shows: "), c.boxes) << what;
            EXPECT_EQ(Count(out.out, "clockfix started by the time"), c.silent_starts) << what;
            unlink(state.c_str());
        }
    }
    rmdir(dir.c_str());
}

TEST(OwnerActions, CommentsMayStandAfterAnActionOrIndented) {
    const struct {
        const char* line;
        const char* path;  // of the one start it holds, or nullptr for none
    } cases[] = {
        {"2009-01-01 12:00 start \\Windows\\nuv.exe  # tap it", "\\Windows\\nuv.exe"},
        {"2009-01-01 12:00 start \\Windows\\a#b.exe", "\\Windows\\a#b.exe"},
        {"   # an indented comment", nullptr},
        {"\t2009-01-01 12:00 start \\Windows\\nuv.exe\t# a tab before it", "\\Windows\\nuv.exe"},
    };
    for (const auto& c : cases) {
        const sim::Result<std::vector<devsim::OwnerEvent>> events = devsim::ParseEvents(c.line);
        ASSERT_TRUE(events) << c.line << ": " << events.why();
        ASSERT_EQ(events->size(), c.path != nullptr ? 1U : 0U) << c.line;
        if (c.path != nullptr) {
            EXPECT_EQ(events->front().action.path, c.path);
        }
    }
}

// What devsim years says of an event list: the words escaped, an event at
// --to refused as outside the span.
TEST(OwnerActions, YearsRefusesAnEventAtToAndQuotesBadLinesEscaped) {
    const std::string dir = TempDir();
    const struct {
        const char* events;
        const char* says;
    } cases[] = {
        {"2012-01-01 00:00 hard-reset\n", "is outside the span, from --from up to but not at --to"},
        {"\x1b]0;owned\x07\x1b[2J 12:00 install\n", "'\\x1b]0;owned\\x07\\x1b[2J' is not of the form"},
    };
    for (const auto& c : cases) {
        const std::string file = dir + "/events";
        std::ofstream(file) << c.events;
        const ProcessOutput r = RunProcess({DEVSIM_PATH, "years", "--from", "2011-01-01 00:00:00",
                                            "--to", "2012-01-01 00:00:00", "--events", file});
        EXPECT_EQ(r.exit_code, 2) << c.events;
        EXPECT_NE(Unwrapped(r.err).find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    }
}

}  // namespace
