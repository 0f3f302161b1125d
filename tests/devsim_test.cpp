#include <gtest/gtest.h>

#include <algorithm>

#include "run_process.h"

namespace {

ProcessOutput Devsim(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), DEVSIM_PATH);
    return RunProcess(args, env);
}

std::string TimeBlock(int y, int mo, int d, int dow, int h, int mi, int s, int ms) {
    auto line = [](const char* label, int v) { return std::string(label) + std::to_string(v) + "\r\n"; };
    return "---------------------\r\n" + line("Year:      ", y) + line("Month:     ", mo) +
           line("Day:       ", d) + line("DayOfWeek: ", dow) + line("Hour:      ", h) +
           line("Min:       ", mi) + line("Sec:       ", s) + line("mSec:      ", ms) +
           "---------------------\r\n";
}

// The last `n` lines of devsim's account.
std::vector<std::string> Tail(const std::string& err, size_t n) {
    std::vector<std::string> lines = SplitLines(err);
    if (lines.size() > n) {
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(n));
    }
    return lines;
}

// devsim's closing account, from the registers on, each wrapped line joined.
std::vector<std::string> Account(const std::string& err) {
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(err)) {
        if (line.rfind("        ", 0) == 0 && !lines.empty()) {
            lines.back() += line.substr(7);
        } else if (!lines.empty() || line.rfind("devsim: rtc ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

const char kRefused2009[] =
    "devsim: refused \\Windows\\nuv29.exe 2009-02-29 23:59:00 (no such date: February 29 of "
    "a common year)";

TEST(DevsimRun, YearEndOnTheChipIsFixedAndTheSetRearmed) {
    // 2008-12-31 23:59:30 -> the chip steps the year byte 0x3A to 0x40
    const ProcessOutput r = Devsim({"run", "nuv", "--at", "2008-12-31 23:59:30"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string want =
        "--------------------- RTCcontent\r\n"
        "year:      3a (58)\r\nmonth:     12\r\ndate:      31\r\nday:       4\r\n"
        "hour:      23\r\nmin:       59\r\nsec:       30\r\n---------------------\r\n"
        "[RTC] fix year 3b (59)\r\n[RTC] Fix OK\r\n" +
        TimeBlock(2009, 1, 1, 4, 0, 0, 0, 100) + TimeBlock(2009, 12, 31, 0, 23, 59, 0, 0) +
        TimeBlock(2009, 2, 28, 0, 23, 59, 0, 0) + TimeBlock(2009, 2, 29, 0, 23, 59, 0, 0);
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(Account(r.err),
              (std::vector<std::string>{
                  "devsim: rtc 3b 01 05 01 00 00 00 (the chip's registers; year 3b is 2009)",
                  "devsim: pending \\Windows\\nuv.exe 2009-12-31 23:59:00",
                  "devsim: pending \\Windows\\nuv28.exe 2009-02-28 23:59:00", kRefused2009,
                  "devsim: unattended mode requested 301 times, withdrawn once at the end "
                  "(clean)",
                  "devsim: clock right"}));
}

// Tagged trace lines, without their CR LF.
std::vector<std::string> Messages(const std::string& out) {
    std::vector<std::string> m;
    for (std::string line : SplitLines(out)) {
        if (!line.empty() && line[0] == '[') {
            line.pop_back();
            m.push_back(line);
        }
    }
    return m;
}

TEST(DevsimRun, FebruaryFixersEndToEnd) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> messages;
        std::vector<std::string> account;  // rtc line, then pending and refused
    };
    const Case cases[] = {
        // 2008-02-28: the chip steps to 03-01, nuv28 writes 02-29
        {{"run", "nuv28", "--at", "2008-02-28 23:59:30"},
         {"[RTC0228] is leap year = 1", "[RTC0228] fix date 2-29", "[RTC0228] Fix OK"},
         {"devsim: rtc 3a 02 06 29 00 00 00 (the chip's registers; year 3a is 2008)",
          "devsim: pending \\Windows\\nuv.exe 2008-12-31 23:59:00",
          "devsim: pending \\Windows\\nuv28.exe 2009-02-28 23:59:00",
          "devsim: pending \\Windows\\nuv29.exe 2008-02-29 23:59:00"}},
        // 2014-02-28: byte 0x40 is leap to the chip, nuv28 writes 03-01
        {{"run", "nuv28", "--at", "2014-02-28 23:59:45"},
         {"[RTC0228] is leap year = 0", "[RTC0228] fix date 3-1", "[RTC0228] Fix OK"},
         {"devsim: rtc 40 03 07 01 00 00 00 (the chip's registers; year 40 is 2014)",
          "devsim: pending \\Windows\\nuv.exe 2014-12-31 23:59:00",
          "devsim: pending \\Windows\\nuv28.exe 2015-02-28 23:59:00",
          "devsim: refused \\Windows\\nuv29.exe 2015-02-29 23:59:00 (no such date: February 29 "
          "of a common year)"}},
        // 2008-02-29: nuv29 writes 03-01 00:00:00 at 23:59:59
        {{"run", "nuv29", "--at", "2008-02-29 23:59:30"},
         {"[RTC0229] fix date 3-1", "[RTC0229] Fix OK"},
         {"devsim: rtc 3a 03 06 01 00 00 00 (the chip's registers; year 3a is 2008)",
          "devsim: pending \\Windows\\nuv.exe 2008-12-31 23:59:00",
          "devsim: pending \\Windows\\nuv28.exe 2009-02-28 23:59:00", kRefused2009}},
    };
    for (const Case& c : cases) {
        const ProcessOutput r = Devsim(c.args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(Messages(r.out), c.messages) << c.args[1];
        std::vector<std::string> account = Account(r.err);
        account.resize(4);  // up to the unattended-mode line
        EXPECT_EQ(account, c.account) << c.args[1];
        // The snapshot is nuv28's alone; both trace four time blocks.
        const bool snapshot = r.out.find("RTCcontent") != std::string::npos;
        EXPECT_EQ(snapshot, c.args[1] == "nuv28");
        EXPECT_EQ(SplitLines(r.out).size(), c.messages.size() + 40 + (snapshot ? 9 : 0));
    }
}

TEST(DevsimRun, RawRegistersOutsideTheMinuteOnlyRearm) {
    const ProcessOutput r = Devsim({"run", "nuv", "--regs", "3a,06,01,15,12,00,00", "--hw",
                                    "correct", "--shell-after", "2"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.find("[RTC] "), std::string::npos);
    EXPECT_NE(r.out.find("[RTC run] IsAPIReady ret FALSE\r\n[RTC run] IsAPIReady ret FALSE\r\n-"),
              std::string::npos);
    EXPECT_EQ(Account(r.err)[0],
              "devsim: rtc 3a 06 01 15 12 00 02 (the chip's registers; year 3a is 2008)");
}

// The io log of a run, each line without its device time ("23:59:59.900 ").
std::vector<std::string> IoLog(const std::vector<std::string>& args,
                               const std::vector<std::string>& env = {}) {
    std::vector<std::string> log;
    for (const std::string& line : SplitLines(Devsim(args, env).err)) {
        if (line.size() > 13 && line[2] == ':' && line[8] == '.' && line[12] == ' ') {
            log.push_back(line.substr(13));
        }
    }
    return log;
}

TEST(DevsimRun, IoLogShowsTheBracketAsItHappens) {
    const ProcessOutput r = Devsim({"run", "nuv", "--at", "2008-06-15 12:00:00", "--io"});
    EXPECT_EQ(r.exit_code, 0);
    const std::vector<std::string> lines = SplitLines(r.err);
    ASSERT_GE(lines.size(), 14U);
    const std::vector<std::string> first(lines.begin(), lines.begin() + 5);
    EXPECT_EQ(first, (std::vector<std::string>{
                         "12:00:00.000 kmode on", "12:00:00.000 read RTCCON 00",
                         "12:00:00.000 write RTCCON 01", "12:00:00.000 read BCDYEAR 3a",
                         "12:00:00.000 read BCDMON 06"}));
    EXPECT_EQ(lines[12], "12:00:00.000 kmode off");
    EXPECT_EQ(lines[13], "12:00:00.000 trace --------------------- RTCcontent");
}

// The trace stands in the io log where it happened: a fix is traced after
// the write that made it, and each registration after the trace of its time.
bool FixTracedAfterItsWrite(const std::vector<std::string>& log) {
    bool written = false;
    for (const std::string& line : log) {
        if (line.rfind("trace [RTC] fix", 0) == 0 && !written) {
            return false;
        }
        written = line.rfind("trace ", 0) == 0 ? false : written || line.rfind("write BCD", 0) == 0;
    }
    return true;
}

bool RegisteredAfterItsTime(const std::vector<std::string>& log) {
    std::string year, month, day;
    for (const std::string& line : log) {
        if (line.rfind("trace Year:", 0) == 0) {
            year = line.substr(line.rfind(' ') + 1);
        } else if (line.rfind("trace Month:", 0) == 0) {
            month = line.substr(line.rfind(' ') + 1);
        } else if (line.rfind("trace Day:", 0) == 0) {
            day = line.substr(line.rfind(' ') + 1);
        } else if (line.rfind("register ", 0) == 0) {
            const size_t at = line.find(' ', 9) + 1;  // after the path
            const int y = std::stoi(line.substr(at, 4));
            const int m = std::stoi(line.substr(at + 5, 2));
            const int d = std::stoi(line.substr(at + 8, 2));
            if (year != std::to_string(y) || month != std::to_string(m) || day != std::to_string(d)) {
                return false;
            }
        }
    }
    return true;
}

TEST(DevsimRun, TheIoLogShowsTheTraceInOrderWithTheDevice) {
    const std::string fake = std::string("DEVSIM_PROGRAM_DIR=") + FAKE_DIR;
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string env;
        bool (*check)(const std::vector<std::string>&);
        bool holds;
    } cases[] = {
        {"nuv at New Year", {"run", "nuv", "--at", "2008-12-31 23:59:59", "--io"}, "",
         FixTracedAfterItsWrite, true},
        {"nuv28 in 2009", {"run", "nuv28", "--at", "2009-02-28 23:59:59", "--io"}, "",
         FixTracedAfterItsWrite, true},
        {"a fix traced before its write", {"run", "nuv", "--io"}, fake + "/trace_first",
         FixTracedAfterItsWrite, false},
        {"nuv re-arming", {"run", "nuv", "--at", "2008-12-31 23:59:59", "--io"}, "",
         RegisteredAfterItsTime, true},
        {"a registration before its time's trace", {"run", "nuv", "--io"},
         fake + "/register_first", RegisteredAfterItsTime, false},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> log =
            IoLog(c.args, c.env.empty() ? std::vector<std::string>{} : std::vector{c.env});
        ASSERT_GT(log.size(), 10U) << c.what;
        EXPECT_EQ(c.check(log), c.holds) << c.what;
    }
}

// Whatever the program, the three registrations run while its watch's
// unattended-mode request still holds, and the one withdrawal comes last.
TEST(DevsimRun, EachProgramRegistersWhileUnattendedThenWithdraws) {
    const std::vector<std::string> runs[] = {
        {"run", "nuv", "--at", "2008-12-31 23:59:50", "--io"},
        {"run", "nuv28", "--at", "2008-02-28 23:59:50", "--io"},
        {"run", "nuv29", "--at", "2008-02-29 23:59:50", "--io"},
    };
    for (const std::vector<std::string>& args : runs) {
        std::vector<std::string> order;
        for (const std::string& line : IoLog(args)) {
            if (line == "unattended mode requested" || line == "unattended mode withdrawn") {
                order.push_back(line.substr(16));
            } else if (line.rfind("register ", 0) == 0) {
                order.push_back("register");
            }
        }
        ASSERT_GE(order.size(), 5U) << args[1];
        EXPECT_EQ(std::vector<std::string>(order.end() - 5, order.end()),
                  (std::vector<std::string>{"requested", "register", "register", "register",
                                            "withdrawn"}))
            << args[1];
        EXPECT_EQ(std::count(order.begin(), order.end(), "withdrawn"), 1) << args[1];
    }
}

// A shell that is not ready: each refusal is traced before its second of waiting.
TEST(DevsimRun, TheShellWaitTracesBeforeItSleeps) {
    const ProcessOutput r = Devsim({"run", "nuv", "--regs", "3a,06,01,15,12,00,00",
                                    "--shell-after", "10", "--limit", "3"});
    EXPECT_EQ(r.exit_code, 3);
    std::vector<std::string> lines = SplitLines(r.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[RTC run] IsAPIReady ret FALSE\r"), 4);
}

// The account ends with a verdict on the clock against the true time.
TEST(DevsimRun, TheAccountEndsWithAVerdictOnTheClock) {
    const struct {
        std::vector<std::string> args;
        const char* verdict;
    } cases[] = {
        {{"run", "nuv", "--at", "2008-12-31 23:59:30"}, "devsim: clock right"},
        // the chip's 2014 stands when its writes are dropped: five years and a day ahead
        {{"run", "nuv", "--at", "2008-12-31 23:59:30", "--ignore-writes", "--limit", "40"},
         "devsim: clock wrong by 1826 d"},
        // raw registers: the time they show is the true time, when they show one
        {{"run", "nuv", "--regs", "3a,12,04,31,23,59,00"}, "devsim: clock right"},
        {{"run", "nuv", "--regs", "3a,06,01,15,12,99,00"},
         "devsim: clock not judged (no true time: --regs gave no valid date)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tail(Devsim(c.args).err, 1)[0], c.verdict) << c.args[1];
    }
}

// Stopped while it slept, the program last read the chip 200 s before:
// the account shows the chip as it is at the end, not as last read.
TEST(DevsimRun, TheAccountShowsTheChipAsItIsAtTheEnd) {
    const ProcessOutput r = Devsim({"run", "nuv", "--shell-after", "5000", "--limit", "200",
                                    "--at", "2008-06-15 12:00:00"});
    EXPECT_NE(r.err.find("devsim: rtc 3a 06 01 15 12 03 20 ("), std::string::npos) << r.err;
}

TEST(DevsimRun, AWatchThatNeverEndsIsStoppedAtTheLimit) {
    const ProcessOutput r = Devsim({"run", "nuv", "--at", "2008-12-31 23:59:30",
                                    "--ignore-writes", "--limit", "40"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("devsim: nuv stopped at the limit"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("withdrawn 0 times, still requested"), std::string::npos) << r.err;
}

TEST(DevsimRun, BadArgumentsGiveOneLineAndExitTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* names;  // what the message must mention
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"walk"}, "unknown command 'walk'"},
        {{"run"}, "needs a program"},
        {{"run", "nuv30"}, "unknown program 'nuv30'"},
        {{"run", "nuv", "--at"}, "--at needs a value"},
        {{"run", "nuv", "--at", "2008-12-31"}, "YYYY-MM-DD HH:MM:SS"},
        {{"run", "nuv", "--at", "2009-02-29 12:00:00"}, "not a valid date"},
        {{"run", "nuv", "--at", "1949-12-31 23:59:30"}, "1950 to 2205"},
        {{"run", "nuv", "--at", "2206-01-01 00:00:00"}, "1950 to 2205"},
        {{"run", "nuv", "--regs", "3a,12,04,31,23,59"}, "7 hex bytes"},
        {{"run", "nuv", "--regs", "3a,12,04,31,23,59,zz"}, "'zz' is not a hex byte"},
        {{"run", "nuv", "--midnight", "week=01"}, "'week=01'"},
        {{"run", "nuv", "--midnight", "year=100"}, "'100' is not a hex byte"},
        {{"run", "nuv", "--hw", "fast"}, "--hw takes chip or correct"},
        {{"run", "nuv", "--limit", "-5"}, "--limit takes 1 to 86400 seconds"},
        {{"run", "nuv", "--limit", "86401"}, "--limit takes 1 to 86400 seconds, not '86401'"},
        {{"run", "nuv", "--shell-after", "soon"}, "--shell-after takes 0 to 86400 seconds"},
        {{"run", "nuv", "--fast"}, "unknown option '--fast'"},
        {{"run", "nuv", "-q"}, "unknown option '-q'"},
        {{"help", "walk"}, "no help on 'walk': there is help on run, years and owner"},
        {{"run", "nuv", "--ignore-writes=no"}, "--ignore-writes takes no value, not 'no'"},
        {{"run", "nuv", "--io=off"}, "--io takes no value"},
        {{"years", "--quiet=no"}, "--quiet takes no value"},
        {{"run", "nuv", "--state"}, "--state needs a value"},
        {{"run", "nuv", "--midnight", "year"}, "'year' is not REG=HEX"},
        {{"run", "nuv", "--regs", "3a,12,04,31,23,59,130"}, "'130' is not a hex byte"},
        {{"run", "nuv", "--at", "2008-12-31 23:59:30", "--regs", "3a,12,04,31,23,59,30"},
         "give one of them"},
    };
    for (const Case& c : cases) {
        const ProcessOutput r = Devsim(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.names;
        EXPECT_EQ(SplitLines(r.err).size(), 1U) << r.err;
        EXPECT_LE(r.err.size(), 81U) << r.err;  // 80 columns and the line end
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << c.names;
    }
}

TEST(DevsimRun, HelpExplainsTheInterfaceWithinEightyColumns) {
    const struct {
        std::vector<std::string> args;
        std::vector<const char*> names;
        const char* not_there;  // belongs to the other command
    } cases[] = {
        {{"--help"},
         {"--at", "--regs", "--hw", "--midnight", "--ignore-writes", "--shell-after", "--limit",
          "--io", "--arm", "--state", "--from", "--to", "--launch-delay", "--disable", "--quiet",
          "NUV_DEVICE_STATE", "0 to 86400", "1 to 86400", "600000", "125", "exit status"},
         "none"},
        {{"run", "--help"}, {"--limit", "--state", "(0)", " 3 ", "2 for"}, "--launch-delay"},
        {{"help", "years"}, {"--launch-delay", "--events", "0 when", "1 otherwise", "3 when"},
         "--regs"},
        {{"owner", "--help"},
         {"--state", "install", "uninstall", "copy", "start PATH", "set-clock", "wait",
          "soft-reset", "hard-reset", "flat-battery", "rtc-kept", "delete PATH", "exit status"},
         "--launch-delay"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = Devsim(c.args);
        EXPECT_EQ(r.exit_code, 0);
        for (const char* name : c.names) {
            EXPECT_NE(r.out.find(name), std::string::npos) << c.args[0] << ": " << name;
        }
        EXPECT_EQ(r.out.find(c.not_there), std::string::npos) << c.args[0];
        for (const std::string& line : SplitLines(r.out)) {
            EXPECT_LE(line.size(), 80U) << line;
        }
    }
    for (const char* flag : {"--version", "-V"}) {
        EXPECT_EQ(Devsim({flag}).out, std::string("devsim ") + PROJECT_VERSION + "\n");
    }
}

}  // namespace
