// The device executables run as ARM code must do byte for byte what the
// host build does: same trace, same account, same exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "run_process.h"

namespace {

struct Case {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> env;  // for the ARM run only
};

ProcessOutput Devsim(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), DEVSIM_PATH);
    return RunProcess(args, env);
}

void ExpectSameBothWays(const Case& c) {
    SCOPED_TRACE(c.what);
    const ProcessOutput host = Devsim(c.args);
    std::vector<std::string> arm_args = c.args;
    arm_args.push_back("--arm");
    const ProcessOutput arm = Devsim(arm_args, c.env);
    EXPECT_EQ(arm.exit_code, host.exit_code);
    EXPECT_EQ(arm.out, host.out);
    EXPECT_EQ(arm.err, host.err);
    EXPECT_FALSE(host.out.empty());
}

TEST(ArmRunner, DevsimRunMatchesTheHostBuild) {
    const Case cases[] = {
        {"nuv at New Year", {"run", "nuv", "--at", "2008-12-31 23:59:30"}, {}},
        {"nuv in June", {"run", "nuv", "--at", "2008-06-15 12:00:00"}, {}},
        {"nuv28, leap year", {"run", "nuv28", "--at", "2008-02-28 23:59:30"}, {}},
        {"nuv28, common year", {"run", "nuv28", "--at", "2014-02-28 23:59:45"}, {}},
        {"nuv28 in May", {"run", "nuv28", "--at", "2009-05-01 08:00:00"}, {}},
        {"nuv29 at 23:59:59", {"run", "nuv29", "--at", "2008-02-29 23:59:30"}, {}},
        {"nuv29 in March", {"run", "nuv29", "--at", "2009-03-01 10:00:00"}, {}},
        {"correct hardware", {"run", "nuv", "--at", "2008-12-31 23:59:50", "--hw", "correct"}, {}},
        {"forced midnight", {"run", "nuv", "--at", "2008-12-31 23:59:50", "--midnight", "year=77"}, {}},
        {"writes dropped", {"run", "nuv", "--at", "2008-12-31 23:59:30", "--ignore-writes", "--limit", "40"}, {}},
        {"late shell", {"run", "nuv", "--regs", "3a,06,01,15,12,00,00", "--shell-after", "3"}, {}},
        {"register log", {"run", "nuv28", "--at", "2008-02-28 23:59:58", "--io"}, {}},
        {"loaded elsewhere", {"run", "nuv", "--at", "2008-12-31 23:59:30"}, {"CERUN_BASE=0x400000"}},
    };
    for (const Case& c : cases) {
        ExpectSameBothWays(c);
    }
}

TEST(ArmRunner, DevsimYearsMatchesTheHostBuild) {
    ExpectSameBothWays({"2007 to 2009",
                        {"years", "--from", "2007-01-01 00:00:00", "--to", "2009-12-31 12:00:00"},
                        {}});
}

TEST(ArmRunner, DevsimReportsWhatStoppedTheArmCode) {
    // An ARMv5 instruction installed as nuv.exe, beside the real runner.
    char dir[] = "/tmp/nuv-arm-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    ASSERT_EQ(symlink(CERUN_PATH, (d + "/cerun").c_str()), 0);
    ASSERT_EQ(mkdir((d + "/device").c_str(), 0700), 0);
    ASSERT_EQ(symlink(ARM_BAD_DIR "/arm_bad_clz.exe", (d + "/device/nuv.exe").c_str()), 0);
    const struct {
        std::vector<std::string> env;
        std::string says;
    } cases[] = {
        {{"DEVSIM_PROGRAM_DIR=" + d},
         "devsim: nuv crashed (undefined instruction at ARM address 0x00011000) at 2008-06-15 12:00:00"},
        {{"CERUN_BASE=0x1001"}, "devsim: nuv could not be loaded (base 0x00001001 is not page-aligned)"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = Devsim({"run", "nuv", "--at", "2008-06-15 12:00:00", "--arm"}, c.env);
        EXPECT_EQ(r.exit_code, 3);
        EXPECT_NE(Unwrapped(r.err).find(c.says), std::string::npos) << r.err;
    }
    unlink((d + "/device/nuv.exe").c_str());
    rmdir((d + "/device").c_str());
    unlink((d + "/cerun").c_str());
    rmdir(dir);
}

}  // namespace

namespace {

// Whatever file it is handed, cerun answers at once with one line naming it.
TEST(ArmRunner, ReadsOnlyARegularImageOfBoundedSize) {
    char dir[] = "/tmp/nuv-images-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    ASSERT_EQ(mkfifo((d + "/fifo.exe").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((d + "/dir.exe").c_str(), 0700), 0);
    std::ofstream(d + "/huge.exe").close();
    ASSERT_EQ(truncate((d + "/huge.exe").c_str(), 17 << 20), 0);
    std::ofstream(d + "/text.exe") << "not an image\n";
    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"fifo.exe", "fifo.exe could not be loaded (/tmp/"},
        {"dir.exe", "dir.exe is not a regular file)"},
        {"huge.exe", "huge.exe is larger than 16777216 bytes)"},
        {"text.exe", "text.exe could not be loaded (not a PE image)\n"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = RunProcess({CERUN_PATH, d + "/" + c.file});
        EXPECT_EQ(r.exit_code, 123) << c.file;
        EXPECT_EQ(SplitLines(r.err).size(), 1U) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    RunProcess({"/bin/rm", "-rf", d});
}

// A resident runner that is gone is said to be gone, and how, not taken
// for a closed pipe: one that never served, one that died in a launch.
TEST(ArmRunner, AStoppedRunnerIsReported) {
    char dir[] = "/tmp/nuv-arm-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    ASSERT_EQ(symlink(DEVICE_DIR, (d + "/device").c_str()), 0);
    const struct {
        const char* runner;
        const char* says;
    } cases[] = {
        {"exit 0", "cannot start nuv: the resident ARM runner stopped (it exited with 0)\n"},
        {"head -c 8 <&3 >/dev/null; kill -ABRT $$",
         "cannot start nuv: the resident ARM runner stopped during its launch (signal 6, "
         "Aborted)\n"},
    };
    for (const auto& c : cases) {
        std::ofstream(d + "/cerun") << "#!/bin/sh\n" << c.runner << "\n";
        ASSERT_EQ(chmod((d + "/cerun").c_str(), 0755), 0);
        const ProcessOutput r = Devsim({"years", "--arm", "--to", "1951-01-01 00:00:00"},
                                       {"DEVSIM_PROGRAM_DIR=" + d});
        EXPECT_EQ(r.exit_code, 3);
        EXPECT_NE(Unwrapped(r.err).find("devsim: guard: " + std::string(c.says)), std::string::npos)
            << r.err;
    }
    RunProcess({"/bin/rm", "-rf", d});
}

TEST(ArmRunner, AnswersHelpAndVersion) {
    const ProcessOutput help = RunProcess({CERUN_PATH, "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("usage: cerun IMAGE.exe\n", 0), 0U);
    // The services are named from the table that serves them, the fixers',
    // the setup library's and the status program's alike.
    std::string flat = help.out;
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    for (const char* name : {" SetKMode,", " PowerPolicyNotify,", " CreateProcessW,",
                             " CeGetUserNotificationHandles,", " MessageBoxW,", " LocalFree,",
                             " CeRunAppAtEvent,", " GetLastError."}) {
        EXPECT_NE(flat.find(name), std::string::npos) << name;
    }
    EXPECT_EQ(flat.find("seven"), std::string::npos);
    const ProcessOutput version = RunProcess({CERUN_PATH, "--version"});
    EXPECT_EQ(version.out, "cerun " PROJECT_VERSION "\n");
}

}  // namespace
