// Hostile programs, setup libraries and files against devsim: each one
// gets a verdict that depends only on what the device did, the same on
// both ARM runners, in bounded time, and devsim never crashes on it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "account.h"
#include "arm_server.h"
#include "device.h"
#include "owner_device.h"
#include "process.h"
#include "run_process.h"
#include "state_file.h"

namespace {

std::string TempDir() {
    char dir[] = "/tmp/hostile_test_XXXXXX";
    return mkdtemp(dir) != nullptr ? dir : "";
}

// A program directory for DEVSIM_PROGRAM_DIR: the built programs, cerun
// and the device files, with the files in `swapped` (device/nuv.exe and
// the like) replaced.
std::string ProgramDir(const std::string& root, const std::map<std::string, std::string>& swapped) {
    mkdir(root.c_str(), 0700);
    const std::string dir = root + "/programs";
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "/device").c_str(), 0700);
    for (const char* f : {"cerun", "nuv", "nuv28", "nuv29", "clockfix", "setup", "device/nuv.exe",
                          "device/nuv28.exe", "device/nuv29.exe", "device/clockfix.exe",
                          "device/setup.dll"}) {
        const auto swap = swapped.find(f);
        const std::string from = swap != swapped.end() ? swap->second : PROGRAM_DIR "/" + std::string(f);
        EXPECT_EQ(symlink(from.c_str(), (dir + "/" + f).c_str()), 0) << f;
    }
    return dir;
}

ProcessOutput Owner(const std::string& dir, const std::string& state, bool arm,
                    const std::vector<std::string>& actions) {
    std::vector<std::string> args = {DEVSIM_PATH, "owner", "--state", state};
    if (access(state.c_str(), F_OK) != 0) {
        args.insert(args.end(), {"--at", "2026-12-10 12:00:00"});
    }
    if (arm) {
        args.push_back("--arm");
    }
    args.insert(args.end(), actions.begin(), actions.end());
    return RunProcess(args, dir.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{"DEVSIM_PROGRAM_DIR=" + dir});
}

const std::string kBad = ARM_BAD_DIR "/arm_bad_";

struct OwnerCase {
    const char* what;
    std::map<std::string, std::string> swapped;  // in the program directory
    std::vector<std::vector<std::string>> runs;  // one devsim owner command each, on one device
    int exit_code;                               // of the last
    std::vector<std::string> shown;              // in the last run's output
    std::vector<std::string> not_shown;
    bool host_too = true;  // also with the host build (no hostile file swapped in)
    // With several runs: what the first shows, so that the last's lines
    // speak of something that happened.
    const char* first_shown = nullptr;
};

const OwnerCase kOwnerCases[] = {
    {"a box without MB_SETFOREGROUND opens behind the installer, a fault of the program's; "
     "a NULL caption is the platform's \"Error\"",
     {{"device/clockfix.exe", kBad + "box_behind.exe"}},
     {{"install"}},
     1,
     {"devsim: clockfix shows a box behind the foreground window: the owner does not see it "
      "(\"Error\": \"Clock fix is on\")"},
     {"Clock fix shows:"},
     false},
    {"a box style the platform does not define is a breach",
     {{"device/clockfix.exe", kBad + "box_style.exe"}},
     {{"copy", "start \\Windows\\clockfix.exe"}},
     3,
     {"devsim: access violation at 2026-12-10 12:00:00.000: MessageBoxW given the style "
      "0x11040, with bits the platform does not define"},
     {"shows:"},
     false},
    {"an event the platform does not document is refused, and said; a documented one is taken",
     {{"device/clockfix.exe", kBad + "event_undocumented.exe"}},
     {{"copy", "start \\Windows\\clockfix.exe"}},
     0,
     {"devsim: clockfix started by hand, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: refused \\Windows\\clockfix.exe at event 99 (no such event: the platform "
      "documents events 0 to 15)",
      "devsim: on time change \\Windows\\clockfix.exe"},
     {"devsim: on time zone change"},
     false},
    {"Clock fix tapped while an instance holds its name: its work done, no second box",
     {{"device/nuv.exe", kBad + "hold_instance.exe"}},
     {{"copy", "start \\Windows\\nuv.exe", "start \\Windows\\clockfix.exe", "wait +2min"}},
     0,
     {"devsim: clockfix started by hand, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: pending \\Windows\\nuv.exe 2026-12-31 23:59:00",
      "devsim: on time change \\Windows\\clockfix.exe"},
     {"shows:", "still open"},
     false},
    {"...and once that instance has ended, a tap shows the box again",
     {{"device/nuv.exe", kBad + "hold_instance.exe"}},
     {{"copy", "start \\Windows\\nuv.exe", "start \\Windows\\clockfix.exe", "wait +2min",
       "start \\Windows\\clockfix.exe"}},
     0,
     {"devsim: Clock fix shows: \"Clock fix is on. Your handheld will check its clock at 23:59 "
      "(11:59 PM) on 31 December 2026 and 28 February 2027.\""},
     {"still open"},
     false},
    {"the command line a program gives CreateProcessW is the one the started program gets",
     {{"device/nuv.exe", kBad + "start_silent.exe"}},
     {{"copy", "start \\Windows\\nuv.exe"}},
     0,
     {"devsim: clockfix started by nuv, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: pending \\Windows\\nuv28.exe 2027-02-28 23:59:00"},
     {"shows:"},
     false},
    {"a program that starts itself is a storm, not a crash",
     {{"device/nuv.exe", kBad + "self_start.exe"}},
     {{"copy", "start \\Windows\\nuv.exe"}},
     3,
     {"devsim: more than 10 programs started by programs in one chain, the last "
      "\\Windows\\nuv.exe by nuv at 2026-12-10 12:01:17.000"},
     {},
     false},
    {"the starts Uninstall_Init asks for are made as it returns, not at the next start",
     {{"device/setup.dll", kBad + "setup_uninit_start.dll"}},
     {{"install", "uninstall"}},
     0,
     {"devsim: setup.dll Uninstall_Init returned 0\n"
      "devsim: nuv started by setup.dll, exited 0 at 2026-12-10 12:00:00.000\n"
      "devsim: nuv28 started by setup.dll, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: nuv started by setup.dll, exited 0 at 2026-12-10 12:00:00.000\n"
      "devsim: removed \\Windows\\nuv.exe, \\Windows\\nuv28.exe, \\Windows\\nuv29.exe, "
      "\\Windows\\clockfix.exe, \\Windows\\Start Menu\\Programs\\Clock fix.lnk"},
     {},
     false},
    {"a setup library's box is said: it holds the installer until OK",
     {{"device/setup.dll", kBad + "setup_box.dll"}},
     {{"install"}},
     0,
     {"devsim: Setup shows: \"Close all programs\"\ndevsim: setup.dll Install_Init returned 0"},
     {"behind the foreground window"},
     false},
    {"strings past 4096 units: a long box is shown, cut on a character and said; a long path "
     "is no file",
     {{"device/clockfix.exe", kBad + "long_strings.exe"}},
     {{"copy", "start \\Windows\\clockfix.exe"}},
     0,
     {"devsim: clockfix started by hand, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: Long shows: \"" + [] {
          std::string e;
          for (int i = 0; i < 302; ++i) {
              e += "\xc3\xa9";
          }
          return e;
      }() + "... (10000 bytes in all, cut here)\""},
     {"crashed"},
     false},
    {"19,000,000 instructions without a Sleep are no spin, however slow the host: exited 5",
     {{"device/nuv.exe", kBad + "busy_under.exe"}},
     {{"copy", "start \\Windows\\nuv.exe"}},
     0,
     {"devsim: nuv started by hand, exited 5 at 2026-12-10 12:00:00.000"},
     {"spins"},
     false},
    {"a program that runs 1e8 instructions without a Sleep spins on the resident runner too",
     {{"device/nuv.exe", kBad + "busy_exit.exe"}},
     {{"copy", "start \\Windows\\nuv.exe"}},
     3,
     {"devsim: nuv spins: no Sleep for 20000000 instructions at ARM address 0x00011008 at "
      "2026-12-10 12:00:00.000"},
     {"exited 5"},
     false},
    {"the runner's refusal to call a missing export is no result of the library's",
     {{"device/setup.dll", kBad + "setup_no_uninstall.dll"}},
     {{"install", "uninstall"}},
     3,
     {"devsim: setup.dll could not be called (setup.dll has no export Uninstall_Init) at "
      "2026-12-10 12:00:00.000"},
     {"Uninstall_Init returned", "removal cancelled"},
     false},
    {"a result of 0x100 is not read as its low byte",
     {{"device/setup.dll", kBad + "setup_big.dll"}},
     {{"install"}},
     3,
     {"devsim: setup.dll Install_Init returned 256 (0x00000100), which the installer does not "
      "know"},
     {"Install_Init returned 0", "installed \\Windows"},
     false},
    {"each start is said with the process that asked for it",
     {{"device/setup.dll", kBad + "setup_four.dll"}},
     {{"install"}},
     0,
     {"devsim: nuv started by setup.dll, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: nuv28 started by setup.dll, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: nuv29 started by setup.dll, exited 0 at 2026-12-10 12:00:00.000"},
     {"started by nuv", "handles from CreateProcessW still open"},
     false},
    {"the starts a failed process queued are dropped with it",
     {{"device/setup.dll", kBad + "setup_spin_unload.dll"}},
     {{"install"}, {"start \\Windows\\nuv28.exe"}},
     0,
     {"devsim: nuv28 started by hand, exited 0 at 2026-12-10 12:00:00.000"},
     {"started by nuv28"},
     false,
     "devsim: setup.dll spins: no Sleep for 20000000 instructions"},
    {"the real setup library starts one program and closes both its handles",
     {},
     {{"install"}},
     0,
     {"devsim: clockfix started by setup.dll, exited 0 at 2026-12-10 12:00:00.000",
      "devsim: installed application \"Handheld Clock fix\" (placed \\Windows\\nuv.exe, "
      "\\Windows\\nuv28.exe, \\Windows\\nuv29.exe, \\Windows\\clockfix.exe, "
      "\\Windows\\Start Menu\\Programs\\Clock fix.lnk; its setup library kept for removal)"},
     {"still open", "access violation", "started by nuv"}},
    {"a hard reset clears the installer's record with the files",
     {},
     {{"install", "hard-reset", "uninstall"}},
     1,
     {"devsim: nothing to remove: the cabinet is not installed"},
     {"installed application"}},
    {"a shortcut to a deleted program starts nothing",
     {},
     {{"install", "delete \\Windows\\clockfix.exe",
       "start \\Windows\\Start Menu\\Programs\\Clock fix.lnk"}},
     1,
     {"devsim: \\Windows\\Start Menu\\Programs\\Clock fix.lnk not started by hand: no such file "
      "\\Windows\\clockfix.exe"},
     {"clockfix started by hand"}},
    {"removal works from the installer's record, shortcut or not",
     {},
     {{"install", "delete \\Windows\\Start Menu\\Programs\\Clock fix.lnk", "uninstall"}},
     0,
     {"devsim: removed \\Windows\\nuv.exe, \\Windows\\nuv28.exe, \\Windows\\nuv29.exe, "
      "\\Windows\\clockfix.exe", "devsim: no files"},
     {"devsim: pending", "not installed"}},
    {"a command whose last wait ends inside a launch leaves the program to run to its end",
     {},
     {{"install", "set-clock 2026-12-31 23:58", "wait +90s"}},
     0,
     {"devsim: nuv started by its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 "
      "00:00:00.150",
      "devsim: pending \\Windows\\nuv.exe 2027-12-31 23:59:00", "devsim: clock right for the time "
      "set in Settings (21 d 11 h ahead of the true time)"},
     {"stopped there", "unguarded"}},
    {"three minutes split into two waits: the same verdict as one",
     {},
     {{"install", "set-clock 2026-12-31 23:58", "wait +90s", "wait +90s"}},
     0,
     {"devsim: > wait +90s\ndevsim: > wait +90s\ndevsim: nuv started by its launch at "
      "2026-12-31 23:59:00, exited 0 at 2027-01-01 00:00:00.150",
      "2026  Dec 31: chip year 50 (2030), nuv wrote 4d (2027) (wrong 50 ms)"},
     {"stopped there", "unguarded"}},
    {"the owner deletes a file while nuv watches: nuv watches on",
     {},
     {{"install", "set-clock 2026-12-31 23:58", "wait +90s", "delete \\Windows\\nothing.txt",
       "wait +90s"}},
     0,
     {"devsim: > delete \\Windows\\nothing.txt\ndevsim: no file \\Windows\\nothing.txt to "
      "delete\ndevsim: > wait +90s\ndevsim: nuv started by its launch at 2026-12-31 23:59:00, "
      "exited 0 at 2027-01-01 00:00:00.150"},
     {"stopped there", "unguarded"}},
    {"the owner sets the clock while nuv watches: nuv sees the clock set, and ends",
     {},
     {{"install", "set-clock 2026-12-31 23:58", "wait +90s", "set-clock 2027-01-01 00:00:10",
       "wait +1min"}},
     0,
     {"devsim: clock set to 2027-01-01 00:00:10\ndevsim: clockfix started by the time change, "
      "exited 0 at 2027-01-01 00:00:10.000\ndevsim: > wait +1min\ndevsim: nuv started by "
      "its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 00:00:10.250",
      "devsim: pending \\Windows\\nuv.exe 2027-12-31 23:59:00"},
     {"stopped there", "unguarded"}},
    {"the owner taps Clock fix while nuv watches: both run, nuv's run put aside meanwhile",
     {},
     {{"install", "set-clock 2026-12-31 23:58", "wait +90s",
       "start \\Windows\\Start Menu\\Programs\\Clock fix.lnk", "wait +90s"}},
     0,
     {"devsim: clockfix started by hand, exited 0 at 2026-12-31 23:59:30.250",
      "devsim: nuv started by its launch at 2026-12-31 23:59:00, exited 0 at 2027-01-01 "
      "00:00:00.150\n2026  Dec 31: chip year 50 (2030), nuv wrote 4d (2027) (wrong 50 ms)",
      "devsim: pending \\Windows\\nuv.exe 2027-12-31 23:59:00"},
     {"stopped there", "unguarded", "access violation"}},
    {"a soft reset ends the program it finds watching",
     {},
     {{"install", "set-clock 2026-12-31 23:58", "wait +90s", "soft-reset", "wait +1min"}},
     1,
     {"devsim: nuv started by its launch at 2026-12-31 23:59:00, still running at 2026-12-31 "
      "23:59:30.250, when the handheld was soft reset: stopped there\ndevsim: > soft-reset\n"
      "devsim: soft reset: files, launches and the clock kept",
      "2026  Dec 31: chip year 50 (2030), unguarded"},
     {"nuv started by its launch at 2026-12-31 23:59:00, exited"}},
    {"refusals of an earlier command's program are not said again",
     {},
     {{"set-clock 2012-03-05 12:00", "copy", "start \\Windows\\nuv.exe"}, {"delete \\Windows\\nuv28.exe"}},
     0,
     {"devsim: deleted \\Windows\\nuv28.exe"},
     {"devsim: refused"},
     true,
     "devsim: refused \\Windows\\nuv29.exe 2013-02-29 23:59:00"},
};

std::string Lines(const OwnerCase& c, const ProcessOutput& r) {
    return c.what + std::string(": exit ") + std::to_string(r.exit_code) + "\n" + r.out + r.err;
}

void Expect(const OwnerCase& c, const ProcessOutput& r) {
    const std::string out = Unwrapped(r.out + r.err);
    EXPECT_EQ(r.exit_code, c.exit_code) << Lines(c, r);
    for (const std::string& line : c.shown) {
        EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << Lines(c, r);
    }
    for (const std::string& text : c.not_shown) {
        EXPECT_EQ(out.find(text), std::string::npos) << text << "\n" << Lines(c, r);
    }
}

TEST(Hostile, OwnerActionsGiveTheVerdictOfWhatTheDeviceDid) {
    for (const OwnerCase& c : kOwnerCases) {
        std::string outputs[2];  // with --arm, and with the host build: byte for byte the same
        for (const bool arm : {true, false}) {
            if (!arm && !c.host_too) {
                continue;
            }
            const std::string root = TempDir();
            const std::string dir = ProgramDir(root, c.swapped);
            ProcessOutput r;
            for (const std::vector<std::string>& run : c.runs) {
                r = Owner(dir, root + "/device", arm, run);
                if (&run == &c.runs.front() && c.first_shown != nullptr) {
                    EXPECT_NE(Unwrapped(r.out + r.err).find(c.first_shown), std::string::npos)
                        << Lines(c, r);
                }
            }
            Expect(c, r);
            outputs[arm ? 0 : 1] = r.out;
        }
        if (c.host_too) {
            EXPECT_EQ(outputs[0], outputs[1]) << c.what;
        }
    }
}

// A program that leaves RTCEN set is blamed; the next process is not.
TEST(Hostile, ABracketLeftOpenIsBlamedOnlyOnTheProcessThatLeftIt) {
    const std::string root = TempDir();
    const std::string state = root + "/device";
    const std::string killer = ProgramDir(root + "/k", {{"nuv", FAKE_DIR "/killed/nuv"}});
    const ProcessOutput killed = Owner(killer, state, false, {"copy", "start \\Windows\\nuv.exe"});
    EXPECT_EQ(killed.exit_code, 3) << killed.out << killed.err;
    const std::string dir = ProgramDir(root, {});
    const ProcessOutput next = Owner(dir, state, true, {"flat-battery rtc-kept", "install"});
    // The year the killed program half wrote leaves the clock wrong (1); no guard fired (3).
    EXPECT_EQ(next.exit_code, 1) << next.out << next.err;
    EXPECT_EQ(next.err.find("left RTCEN set"), std::string::npos) << next.err;
}

// `text` with every run of blanks and line ends as one blank.
std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n';
        if (!blank || (!out.empty() && out.back() != ' ')) {
            out += blank ? ' ' : c;
        }
    }
    return out;
}

// An event inside a running launch happens at its time, on both paths.
TEST(Hostile, AnEventInsideALaunchHappensAtItsTime) {
    const std::string root = TempDir();
    const std::string events = root + "/events";
    std::ofstream(events) << "2011-12-31 23:59:30 flat-battery rtc-kept  # in nuv's watch\n";
    for (const bool arm : {false, true}) {
        std::vector<std::string> args = {DEVSIM_PATH, "years", "--from", "2011-06-01 12:00:00",
                                         "--to", "2012-06-01 12:00:00", "--events", events};
        if (arm) {
            args.push_back("--arm");
        }
        const ProcessOutput r = RunProcess(args);
        EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
        const std::string out = OneLine(r.out);
        EXPECT_NE(out.find("2011 Dec 31: nuv started by its launch at 2011-12-31 23:59:00, still "
                           "running at 2011-12-31 23:59:30.000, when the battery went flat: "
                           "stopped there, battery left flat: files and launches gone, the RTC "
                           "kept time, "
                           "chip year 40 (2014), unguarded launches"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find(" unguarded=1 "), std::string::npos) << out;
    }
}

// An event during nuv's watch that ends no program happens at its time
// while nuv watches on: the rollover is guarded, on both paths alike.
TEST(Hostile, AnEventThatEndsNothingLeavesTheWatchGoingOn) {
    const std::string root = TempDir();
    const std::string events = root + "/events";
    for (const char* line :
         {"2011-12-31 23:59:30 delete \\Windows\\nothing.txt", "2012-01-01 00:00:00 set-clock",
          "2011-12-31 23:59:30 reminders 5", "2011-12-31 23:59:59 copy"}) {
        std::ofstream(events) << line << "\n";
        std::string outputs[2];
        for (const bool arm : {false, true}) {
            std::vector<std::string> args = {DEVSIM_PATH, "years", "--from", "2011-12-01 00:00:00",
                                             "--to", "2012-01-10 00:00:00", "--events", events};
            if (arm) {
                args.push_back("--arm");
            }
            const ProcessOutput r = RunProcess(args);
            EXPECT_EQ(r.exit_code, 0) << line << "\n" << r.out << r.err;
            EXPECT_NE(r.out.find(" unguarded=0 "), std::string::npos) << line << "\n" << r.out;
            EXPECT_EQ(r.out.find("stopped there"), std::string::npos) << line << "\n" << r.out;
            outputs[arm ? 1 : 0] = r.out;
        }
        EXPECT_EQ(outputs[0], outputs[1]) << line;
    }
    unlink(events.c_str());
    rmdir(root.c_str());
}

// Each program of the cerun rejection table, as `devsim run --arm` runs it
// (cerun IMAGE) and as the resident runner does: the same report.
TEST(Hostile, BothArmRunnersGiveEveryHostileProgramTheSameVerdict) {
    std::vector<std::string> names;
    std::stringstream list(ARM_BAD_NAMES);
    for (std::string name; std::getline(list, name, ',');) {
        names.push_back(name);
    }
    ASSERT_GE(names.size(), 15U);
    sim::DeviceConfig config;
    config.at = {2008, 12, 31, 23, 59, 30, 0};
    sim::DeviceState initial;
    sim::InitDevice(initial, config);
    std::string path;
    sim::DeviceState* d = *sim::CreateTempStateFile("/tmp", initial, path);
    devsim::ArmServer server =
        *devsim::StartArmServer({"nuv", CERUN_PATH, {}}, sim::LockDescriptor(d));
    for (const std::string& name : names) {
        const devsim::ProgramCommand fresh{"nuv", CERUN_PATH, {kBad + name + ".exe"}, 1};
        std::string reports[2];
        for (int resident = 0; resident < 2; ++resident) {
            *d = initial;
            sim::BeginRun(*d, 60, 0, false);
            const devsim::ProcessResult r =
                resident != 0 ? devsim::RunOnArmServer(server, fresh, path, true)
                              : devsim::RunProgram(fresh, path, sim::LockDescriptor(d), true);
            for (const std::string& p : devsim::RunProblems("nuv", r, *d)) {
                reports[resident] += p + "\n";
            }
            if (d->log.box_hidden != 0) {
                reports[resident] += std::string("box behind the foreground window: ") +
                                     d->log.box_caption + ": " + d->log.box_text + "\n";
            }
            const std::string account = devsim::AccountLines(*d, false);
            for (size_t at = account.find("devsim: refused"); at != std::string::npos;
                 at = account.find("devsim: refused", at + 1)) {
                reports[resident] += account.substr(at, account.find('\n', at) - at + 1);
            }
            sim::EndProcess(*d);
        }
        EXPECT_FALSE(reports[0].empty()) << name;
        EXPECT_EQ(reports[0], reports[1]) << name;
    }
    devsim::StopArmServer(server);
    sim::CloseStateFile(d);
    unlink(path.c_str());
}

// MessageBoxW's styles as the platform defines them: a box without
// MB_SETFOREGROUND is hidden, undefined bits are a breach and show nothing.
TEST(Hostile, MessageBoxStylesAreServedAsDocumented) {
    const struct {
        uint32_t style;
        bool shown;
        bool hidden;
    } cases[] = {
        {0x00010040, true, false},  // MB_SETFOREGROUND | MB_ICONINFORMATION
        {0x00050335, true, false},  // | MB_TOPMOST, MB_DEFBUTTON4, MB_ICONEXCLAMATION, MB_RETRYCANCEL
        {0x00000000, true, true},   // MB_OK alone
        {0x00040030, true, true},   // MB_TOPMOST does not bring it to the front
        {0x00011000, false, false},  // MB_SYSTEMMODAL
        {0x00012000, false, false},  // MB_TASKMODAL
        {0x00010006, false, false},  // no such buttons
        {0x00010050, false, false},  // no such icon
        {0x00010400, false, false},  // no such default button
        {0x80010000, false, false},
    };
    for (const auto& c : cases) {
        sim::DeviceState d{};
        EXPECT_EQ(sim::RecordMessageBox(d, "Clock fix", "text", c.style), c.shown) << c.style;
        EXPECT_EQ(d.log.box_shown != 0, c.shown) << c.style;
        EXPECT_EQ(d.log.box_hidden != 0, c.hidden) << c.style;
        EXPECT_EQ(d.log.violation_count, c.shown ? 0U : 1U) << c.style;
    }
}

// The handle counter at its last value: the next handle starts the count
// again, never 0, and the genuine setup library closes what it was given.
TEST(Hostile, TheHandleCounterAtItsEndGivesNoHandleZero) {
    const std::string dir = TempDir();
    for (const bool arm : {false, true}) {
        sim::DeviceConfig config;
        config.at = {2026, 12, 10, 12, 0, 0, 0};
        sim::DeviceState initial;
        sim::InitDevice(initial, config);
        initial.os.next_handle = sim::kLastHandle;
        const std::string state = dir + "/state";
        sim::CloseStateFile(*sim::CreateStateFile(state, initial));
        const ProcessOutput r = Owner("", state, arm, {"install"});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_EQ(r.out.find("CloseHandle"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("clockfix started by setup.dll, exited 0"), std::string::npos);
        unlink(state.c_str());
    }
    rmdir(dir.c_str());
}

// A program busy between Sleeps that move device time is not a spinner.
TEST(Hostile, AProgramThatSleepsIsNotStoppedForItsCpuTime) {
    // Some 3 s of CPU time: past the 2 s a spin is given.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    RunExtras quiet;
    quiet.stdout_fd = null;
    const ProcessOutput r =
        RunProcess({DEVSIM_PATH, "run", "nuv", "--at", "2011-12-07 12:00:00", "--limit", "900"},
                   {std::string("DEVSIM_PROGRAM_DIR=") + FAKE_DIR + "/sleep_print"}, quiet);
    close(null);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("devsim: nuv stopped at the limit: still running at 2011-12-07 "
                         "12:15:00.000"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("spins"), std::string::npos) << r.err;
}

// CreateProcessW and CloseHandle as the platform serves them.
TEST(Hostile, ProcessStartsAndHandlesAreServedAsDocumented) {
    sim::DeviceState d{};
    sim::DeviceConfig config;
    config.at = {2011, 12, 7, 12, 0, 0, 0};
    sim::InitDevice(d, config);
    ASSERT_TRUE(sim::AddFile(d, {"\\Windows\\nuv.exe", ""}));
    ASSERT_TRUE(sim::AddFile(d, {"\\Windows\\nuv.lnk", "\\Windows\\nuv.exe"}));
    const struct {
        sim::CreateProcessCall call;
        bool started;
        const char* breach;  // the violation recorded, if any
    } cases[] = {
        {{"\\Windows\\nuv.exe", {}, 0, ""}, true, nullptr},
        {{"\\Windows\\nuv.exe", {}, 0, "AppRunAfterTzChange"}, true, nullptr},
        {{"\\Windows\\nuv.exe", {}, 0, std::string(sim::kCommandLineBytes - 1, 'x')}, true,
         nullptr},
        {{"\\Windows\\nuv.exe", {}, 0, std::string(sim::kCommandLineBytes, 'x')}, false,
         nullptr},  // longer than the device keeps: refused, and counted
        {{"\\Windows\\nuv.exe", {false, false, true}, 0, ""}, false,
         "CreateProcessW given fInheritHandles, which must be NULL or FALSE on this platform"},
        {{"\\Windows\\nuv.exe", {false, false, false, false, false, true}, 0, ""}, false,
         "CreateProcessW given psiStartInfo, which must be NULL or FALSE on this platform"},
        {{"\\Windows\\nuv.exe", {}, 1, ""}, false,
         "CreateProcessW given creation flags 0x1, which the simulated device does not serve"},
        {{"\\Windows\\none.exe", {}, 0, ""}, false, nullptr},
        {{"\\Windows\\nuv.lnk", {}, 0, ""}, false, nullptr},  // a shortcut is the shell's
    };
    for (const auto& c : cases) {
        sim::BeginRun(d, 60, 0, false);
        const std::optional<sim::StartedHandles> h = sim::DeviceCreateProcess(d, c.call);
        EXPECT_EQ(d.os.start_count, c.started ? 1U : 0U) << c.call.path;
        EXPECT_EQ(h.has_value(), c.started) << c.call.path;
        EXPECT_EQ(d.log.violation_count, c.breach != nullptr ? 1U : 0U) << c.call.path;
        if (c.breach != nullptr) {
            EXPECT_STREQ(d.log.violations[0].text, c.breach);
        }
        EXPECT_EQ(d.log.long_command_lines,
                  c.call.command_line.size() >= sim::kCommandLineBytes ? 1U : 0U);
        if (h) {
            const std::optional<sim::QueuedProgram> queued = sim::TakeStart(d);
            ASSERT_TRUE(queued);
            EXPECT_EQ(queued->path, c.call.path);
            EXPECT_EQ(queued->command_line, c.call.command_line);  // as given, to the byte
            EXPECT_NE(h->process, h->thread);
            EXPECT_EQ(sim::OpenHandles(d), 2);
            EXPECT_TRUE(sim::DeviceCloseHandle(d, h->thread));
            EXPECT_FALSE(sim::DeviceCloseHandle(d, h->thread));  // closed already
            EXPECT_EQ(d.log.violation_count, 1U);
            EXPECT_EQ(sim::OpenHandles(d), 1);
            sim::EndProcess(d);
            EXPECT_EQ(sim::OpenHandles(d), 0);  // gone with the process
        }
    }
}

// GetFileAttributesW as the platform answers it: the device's folders are
// folders, with or without their last backslash; a path past MAX_PATH is none.
TEST(Hostile, FoldersFilesAndLongPathsHaveTheirAttributes) {
    sim::DeviceState d{};
    sim::DeviceConfig config;
    sim::InitDevice(d, config);
    ASSERT_TRUE(sim::AddFile(d, {"\\Storage Card\\Backup\\notes.txt", ""}));
    ASSERT_TRUE(sim::AddFile(d, {"\\Windows\\nuv.exe", ""}));
    const struct {
        std::string path;
        uint32_t attributes;
    } cases[] = {
        {"\\", sim::kAttributeDirectory},
        {"\\Windows", sim::kAttributeDirectory},
        {"\\WINDOWS\\", sim::kAttributeDirectory},
        {"\\Windows\\Start Menu\\Programs", sim::kAttributeDirectory},
        {"\\Storage Card\\Backup", sim::kAttributeDirectory},  // it holds a file
        {"\\Windows\\nuv.exe", sim::kAttributeNormal},
        {"\\windows\\NUV.EXE", sim::kAttributeNormal},
        {"\\Windows\\nuv", sim::kNoAttributes},
        {"\\Win", sim::kNoAttributes},
        {"", sim::kNoAttributes},
        {"\\Windows\\" + std::string(300, 'a'), sim::kNoAttributes},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sim::FileAttributes(d, c.path), c.attributes) << c.path;
    }
}

// A registration the platform refuses is said with its real reason.
TEST(Hostile, ARefusedRegistrationNamesItsReason) {
    sim::DeviceState d{};
    sim::DeviceConfig config;
    config.at = {2026, 12, 10, 12, 0, 0, 0};
    sim::InitDevice(d, config);
    SYSTEMTIME at{2026, 12, 0, 31, 23, 59, 0, 0};
    for (int i = 0; i < sim::kMaxLaunches; ++i) {
        ASSERT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\p" + std::to_string(i) + ".exe", at));
    }
    EXPECT_FALSE(sim::DeviceRunAppAtTime(d, "\\Windows\\one-more.exe", at));
    EXPECT_FALSE(sim::DeviceRunAppAtTime(d, "\\Windows\\" + std::string(100, 'x') + ".exe", at));
    d.os.store.fails = sim::kFailRegister;
    EXPECT_FALSE(sim::DeviceRunAppAtTime(d, "\\Windows\\p0.exe", at));
    const std::string account = devsim::AccountLines(d, false);
    for (const std::string line :
         {"refused \\Windows\\one-more.exe 2026-12-31 23:59:00 (the launch table is full: it "
          "holds 8)",
          "2026-12-31 23:59:00 (a path of 96 bytes or more, shown cut)",
          "refused \\Windows\\p0.exe 2026-12-31 23:59:00 (the notification store failed)"}) {
        EXPECT_NE(account.find(line), std::string::npos) << line << "\n" << account;
    }
}

// Past the programs the simulated device keeps waiting for one process, a
// start is refused, and counted for devsim to say.
TEST(Hostile, StartsPastTheQueueAreRefusedAndCounted) {
    sim::DeviceState d{};
    sim::DeviceConfig config;
    config.at = {2011, 12, 7, 12, 0, 0, 0};
    sim::InitDevice(d, config);
    ASSERT_TRUE(sim::AddFile(d, {"\\Windows\\nuv.exe", ""}));
    sim::BeginRun(d, 60, 0, false);
    for (int i = 0; i < sim::kMaxStarts + 2; ++i) {
        const std::optional<sim::StartedHandles> h =
            sim::DeviceCreateProcess(d, {"\\Windows\\nuv.exe", {}, 0, ""});
        EXPECT_EQ(h.has_value(), i < sim::kMaxStarts) << i;
        if (h) {
            sim::DeviceCloseHandle(d, h->process);
            sim::DeviceCloseHandle(d, h->thread);
        }
    }
    EXPECT_EQ(d.os.start_count, static_cast<uint32_t>(sim::kMaxStarts));
    EXPECT_EQ(d.log.starts_refused, 2U);
    EXPECT_EQ(d.log.violation_count, 0U);
}

// The installer's record, not the files, says what is installed; the
// installer overwrites what is there.
TEST(Hostile, TheInstallersRecordSaysWhatIsInstalled) {
    sim::DeviceState d{};
    sim::DeviceConfig config;
    config.at = {2011, 12, 7, 12, 0, 0, 0};
    sim::InitDevice(d, config);
    for (const sim::PackageFile& f : sim::PackageFiles()) {
        ASSERT_TRUE(sim::AddFile(d, f.target.empty() ? f : sim::PackageFile{f.path, "\\old.exe"}));
    }
    EXPECT_FALSE(sim::PreviouslyInstalled(d)) << "copied by hand is not installed";
    for (const sim::PackageFile& f : sim::PackageFiles()) {
        ASSERT_TRUE(sim::PlaceFile(d, f));
    }
    EXPECT_STREQ(sim::FindFile(d, sim::ShortcutPath())->target, sim::kStatusProgram.path);
    sim::RecordInstalled(d, 0x1F);
    EXPECT_TRUE(sim::PreviouslyInstalled(d));
    sim::ColdBoot(d, true);
    EXPECT_FALSE(sim::PreviouslyInstalled(d));
}

// Someone opening and locking the path while devsim creates the device
// finds no file or a whole one, and devsim never finds it in use.
TEST(Hostile, AStateFileAppearsWholeOrNotAtAll) {
    const std::string root = TempDir();
    sim::DeviceState initial{};
    sim::DeviceConfig config;
    config.at = {2011, 12, 7, 12, 0, 0, 0};
    sim::InitDevice(initial, config);
    for (int attempt = 0; attempt < 50; ++attempt) {
        const std::string path = root + "/s" + std::to_string(attempt);
        std::atomic<bool> done{false};
        std::atomic<int> partial{0};
        std::thread prober([&] {
            while (!done) {
                const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0) {
                    struct stat st {};
                    fstat(fd, &st);
                    partial += st.st_size != static_cast<off_t>(sizeof initial) ? 1 : 0;
                    flock(fd, LOCK_EX | LOCK_NB);
                    close(fd);
                }
            }
        });
        const sim::Result<sim::DeviceState*> d = sim::CreateStateFile(path, initial);
        done = true;
        prober.join();
        ASSERT_TRUE(d) << d.why();
        EXPECT_EQ(partial, 0);
        sim::CloseStateFile(*d);
    }
}

// The fix traces follow their writes, and each registration follows the
// trace of its time, in the io log of the real programs.
TEST(Hostile, EveryFixIsTracedAfterItsWriteAndEveryRegistrationAfterItsTime) {
    const struct {
        const char* program;
        const char* at;
        const char* write;  // the register write the fix trace must follow
        const char* fix;
    } cases[] = {
        {"nuv", "2008-12-31 23:59:59", "write BCDYEAR 3b", "trace [RTC] fix year 3b (59)"},
        {"nuv28", "2008-02-28 23:59:59", "write BCDDATE 29", "trace [RTC0228] fix date 2-29"},
        {"nuv29", "2008-02-29 23:59:58", "write BCDSEC 00", "trace [RTC0229] fix date 3-1"},
    };
    for (const auto& c : cases) {
        for (const bool arm : {false, true}) {
            std::vector<std::string> args = {DEVSIM_PATH, "run", c.program, "--at", c.at, "--io"};
            if (arm) {
                args.push_back("--arm");
            }
            const std::vector<std::string> log = SplitLines(RunProcess(args).err);
            auto find = [&log](const std::string& text) {
                for (size_t i = 0; i < log.size(); ++i) {
                    if (log[i].find(text) != std::string::npos) {
                        return i;
                    }
                }
                return log.size();
            };
            ASSERT_LT(find(c.fix), log.size()) << c.program;
            EXPECT_LT(find(c.write), find(c.fix)) << c.program;
            std::string year, month, day;
            int registrations = 0;
            for (const std::string& line : log) {
                const std::string text = line.substr(line.find(' ') + 1);
                if (text.rfind("trace Year:", 0) == 0) {
                    year = text.substr(text.rfind(' ') + 1);
                } else if (text.rfind("trace Month:", 0) == 0) {
                    month = text.substr(text.rfind(' ') + 1);
                } else if (text.rfind("trace Day:", 0) == 0) {
                    day = text.substr(text.rfind(' ') + 1);
                } else if (text.rfind("register ", 0) == 0) {
                    char date[16];
                    std::snprintf(date, sizeof date, "%s-%02d-%02d", year.c_str(),
                                  std::atoi(month.c_str()), std::atoi(day.c_str()));
                    EXPECT_NE(text.find(std::string(" ") + date + " "), std::string::npos)
                        << c.program << ": " << text << " after the trace of " << date;
                    ++registrations;
                }
            }
            EXPECT_EQ(registrations, 3) << c.program;
        }
    }
}

}  // namespace
