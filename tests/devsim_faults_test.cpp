#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstring>
#include <fstream>

#include "device.h"
#include "run_process.h"
#include "state_file.h"

namespace {

class StateFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nuv-faults-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& f : files_) {
            unlink(f.c_str());
        }
        rmdir(dir_.c_str());
    }
    std::string Path(const std::string& name) {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }
    // A sound device state at 2008-12-31 23:59:30, altered by `damage`.
    std::string MakeState(const std::string& name, void (*damage)(sim::DeviceState&)) {
        const std::string path = Path(name);
        sim::DeviceConfig c;
        c.at = {2008, 12, 31, 23, 59, 30, 0};
        sim::DeviceState d;
        sim::InitDevice(d, c);
        damage(d);
        sim::CloseStateFile(*sim::CreateStateFile(path, d));
        return path;
    }

private:
    std::string dir_;
    std::vector<std::string> files_;
};

TEST_F(StateFiles, AProgramOnADamagedDeviceSaysSoAndTouchesNothing) {
    struct Case {
        std::string file;
        const char* says;
    };
    const std::string truncated = MakeState("truncated", [](sim::DeviceState&) {});
    ASSERT_EQ(truncate(truncated.c_str(), 64), 0);
    const Case cases[] = {
        {Path("missing"), "cannot open it"},
        {truncated, "truncated"},
        {MakeState("magic", [](sim::DeviceState& d) { d.magic = 0x12345678; }), "bad magic"},
        {MakeState("version", [](sim::DeviceState& d) { d.version = 99; }), "another version"},
        {MakeState("launch", [](sim::DeviceState& d) { d.os.launches[2].used = 7; }),
         "corrupt launch table"},
        {MakeState("path", [](sim::DeviceState& d) { std::memset(d.os.launches[0].path, 'x', 96); }),
         "corrupt launch table"},
        {MakeState("clock", [](sim::DeviceState& d) { d.chip.next_tick_ms = d.os.clock_ms + 5000; }),
         "corrupt clock"},
        {MakeState("hw", [](sim::DeviceState& d) { d.chip.hw = static_cast<sim::Hw>(9); }),
         "unknown hardware"},
        // Values that would hang, loop or overflow: refused, not run.
        {MakeState("far", [](sim::DeviceState& d) { d.os.clock_ms = 9000000000000000000; }),
         "corrupt clock"},
        {MakeState("max", [](sim::DeviceState& d) { d.os.clock_ms = INT64_MAX; }), "corrupt clock"},
        {MakeState("tick", [](sim::DeviceState& d) { d.chip.next_tick_ms = INT64_MIN; }),
         "corrupt clock"},
        {MakeState("limit", [](sim::DeviceState& d) { d.os.limit_ms = INT64_MAX; }),
         "corrupt clock"},
        {MakeState("shell", [](sim::DeviceState& d) { d.os.shell_ready_ms = INT64_MAX; }),
         "corrupt clock"},
        {MakeState("mask", [](sim::DeviceState& d) { d.chip.fault.mask = 0xFF; }), "corrupt flags"},
        {MakeState("offset", [](sim::DeviceState& d) { d.os.set_offset_ms = INT64_MAX; }),
         "corrupt clock"},
        {MakeState("file", [](sim::DeviceState& d) { std::memset(d.os.files[7].target, 'x', 96); }),
         "corrupt file table"},
        {MakeState("starts", [](sim::DeviceState& d) { d.os.start_count = 0xFFFFFFFF; }),
         "corrupt file table"},
        // A handle twice, one the store never gave, a kind it does not know.
        {MakeState("twice", [](sim::DeviceState& d) { d.os.notes[1].handle = d.os.notes[0].handle; }),
         "corrupt notification store"},
        {MakeState("ahead", [](sim::DeviceState& d) { d.os.notes[0].handle = d.os.next_notification + 4; }),
         "corrupt notification store"},
        {MakeState("kind", [](sim::DeviceState& d) { d.os.notes[0].kind = 999; }),
         "corrupt notification store"},
        {MakeState("type", [](sim::DeviceState& d) { d.os.store.run_at_time_type = 1; }),
         "corrupt notification store"},
        // A handle counter or an open handle the device never gives; a path twice.
        {MakeState("paused", [](sim::DeviceState& d) { d.os.paused = 9; }), "corrupt flags"},
        {MakeState("counter", [](sim::DeviceState& d) { d.os.next_handle = 7; }),
         "corrupt handle table"},
        {MakeState("handle", [](sim::DeviceState& d) { d.os.handles[3] = 0x10; }),
         "corrupt handle table"},
        {MakeState("files", [](sim::DeviceState& d) {
             std::strcpy(d.os.files[0].path, "\\Windows\\nuv.exe");
             std::strcpy(d.os.files[1].path, "\\WINDOWS\\NUV.EXE");
             d.os.files[0].used = d.os.files[1].used = 1;
         }),
         "corrupt file table"},
    };
    for (const Case& c : cases) {
        const std::string before = ReadFile(c.file);
        for (const char* program : {"nuv", "nuv28", "nuv29"}) {
            const ProcessOutput r =
                RunProcess({std::string(PROGRAM_DIR) + "/" + program}, {"NUV_DEVICE_STATE=" + c.file});
            EXPECT_NE(r.exit_code, 0) << c.says;
            EXPECT_TRUE(r.out.empty()) << c.says << ": traced " << r.out;
            EXPECT_EQ(SplitLines(r.err).size(), 1U) << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        }
        EXPECT_EQ(ReadFile(c.file), before) << c.says << ": the state was changed";

        const ProcessOutput r = RunProcess({DEVSIM_PATH, "run", "nuv", "--state", c.file});
        if (c.says != std::string("cannot open it")) {  // a missing file is a new device
            EXPECT_EQ(r.exit_code, 2) << c.says;
            EXPECT_NE(Unwrapped(r.err).find(c.says), std::string::npos) << r.err;
            EXPECT_EQ(ReadFile(c.file), before) << c.says;
        }
    }
}

TEST_F(StateFiles, AProgramKilledMidRunLeavesADeviceTheNextRunCanUse) {
    const std::string state = Path("device");
    const ProcessOutput killed =
        RunProcess({DEVSIM_PATH, "run", "nuv", "--at", "2008-06-01 12:00:00", "--state", state},
                   {std::string("DEVSIM_PROGRAM_DIR=") + FAKE_DIR + "/killed"});
    EXPECT_EQ(killed.exit_code, 3);
    EXPECT_NE(killed.err.find("devsim: nuv crashed: signal 9"), std::string::npos) << killed.err;

    // Its write stands in the RTC; its kernel mode died with it.
    const sim::Result<sim::DeviceState*> d = sim::OpenStateFile(state);
    ASSERT_TRUE(d) << d.why();
    EXPECT_EQ((*d)->chip.regs.year, 0x77);
    EXPECT_EQ((*d)->os.kmode, 0);
    EXPECT_EQ((*d)->log.op_mask, 0);
    sim::CloseStateFile(*d);

    const ProcessOutput next = RunProcess({DEVSIM_PATH, "run", "nuv", "--state", state});
    EXPECT_EQ(next.exit_code, 0) << next.err;
    EXPECT_NE(next.err.find("devsim: pending \\Windows\\nuv.exe 2069-12-31 23:59:00"),
              std::string::npos)
        << next.err;
    EXPECT_EQ(next.err.find("violation"), std::string::npos) << next.err;

    // A program killed in kernel mode outside devsim is not blamed on the next run.
    RunProcess({std::string(FAKE_DIR) + "/killed/nuv"}, {"NUV_DEVICE_STATE=" + state});
    const ProcessOutput after_hand = RunProcess({DEVSIM_PATH, "run", "nuv", "--state", state});
    EXPECT_EQ(after_hand.exit_code, 0) << after_hand.err;
    EXPECT_EQ(after_hand.err.find("kernel mode"), std::string::npos) << after_hand.err;

    // A device already set up cannot be set up again.
    const ProcessOutput again =
        RunProcess({DEVSIM_PATH, "run", "nuv", "--state", state, "--hw", "correct"});
    EXPECT_EQ(again.exit_code, 2);
    EXPECT_NE(again.err.find("already holds a device"), std::string::npos) << again.err;
}

}  // namespace

namespace {

// Creating a device never writes through a link nor leaves a partial file.
TEST_F(StateFiles, ADeviceThatCannotBeCreatedLeavesNothingBehind) {
    const std::string dir = Path("tmp");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const std::string target = Path("target");
    const std::string link = Path("link");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string full = Path("full");
    const std::string limited = "ulimit -f 1; exec \"$0\" \"$@\"";  // too small for a device
    const struct {
        std::vector<std::string> argv;
        std::vector<std::string> env;
        std::string says;
    } cases[] = {
        {{DEVSIM_PATH, "run", "nuv", "--state", link}, {}, "cannot create device state " + link},
        {{"/bin/sh", "-c", limited, DEVSIM_PATH, "run", "nuv", "--state", full}, {},
         "cannot create device state " + full + ": File too large"},
        {{"/bin/sh", "-c", limited, DEVSIM_PATH, "years"}, {"TMPDIR=" + dir},
         "cannot create a device state in " + dir + ": File too large"},
        {{DEVSIM_PATH, "run", "nuv"}, {"TMPDIR=" + dir + "/none"},
         "cannot create a device state in " + dir + "/none: No such file"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = RunProcess(c.argv, c.env);
        EXPECT_EQ(r.exit_code, 2) << c.says;
        EXPECT_NE(Unwrapped(r.err).find(c.says), std::string::npos) << r.err;
    }
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "created through the link";
    EXPECT_NE(access(full.c_str(), F_OK), 0) << "a partial device stays";
    EXPECT_EQ(rmdir(dir.c_str()), 0) << "a temporary device stays";
}

}  // namespace

namespace {

// Processes still running whose environment holds `mark`.
int ProcessesMarked(const std::string& mark) {
    int n = 0;
    DIR* proc = opendir("/proc");
    for (dirent* e = readdir(proc); e != nullptr; e = readdir(proc)) {
        if (std::isdigit(static_cast<unsigned char>(e->d_name[0])) != 0) {
            const std::string env = ReadFile(std::string("/proc/") + e->d_name + "/environ");
            n += env.find(mark) != std::string::npos ? 1 : 0;
        }
    }
    closedir(proc);
    return n;
}

// A devsim ended by a signal mid-span takes its program with it and leaves
// no temporary device, on the host and on the ARM path.
TEST_F(StateFiles, ASignalEndsDevsimAndWhatItStarted) {
    const std::string dir = Path("tmp");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const struct {
        int signal;
        std::vector<std::string> extra;
    } cases[] = {{SIGTERM, {"--arm"}}, {SIGINT, {}}, {SIGHUP, {"--arm"}}};
    for (const auto& c : cases) {
        std::vector<std::string> argv = {DEVSIM_PATH, "years", "--quiet"};
        argv.insert(argv.end(), c.extra.begin(), c.extra.end());
        RunExtras interrupt;
        interrupt.signal = c.signal;
        interrupt.after_ms = 150;
        const ProcessOutput r = RunProcess(argv, {"TMPDIR=" + dir}, interrupt);
        EXPECT_EQ(r.exit_code, 128 + c.signal) << r.err;
        // Killed processes that were not devsim's own children take a moment to go.
        int left = ProcessesMarked("TMPDIR=" + dir);
        for (int tries = 0; left != 0 && tries < 100; ++tries) {
            usleep(10000);
            left = ProcessesMarked("TMPDIR=" + dir);
        }
        EXPECT_EQ(left, 0) << "signal " << c.signal;
    }
    EXPECT_EQ(rmdir(dir.c_str()), 0) << "a temporary device stays";
}

}  // namespace

namespace {

// Output that cannot be written is a failure; a reader that stops reading
// is not a crash of the program.
TEST(DevsimOutput, AFailedWriteFailsAndAClosedPipeEndsQuietly) {
    const ProcessOutput full = RunProcess(
        {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full", DEVSIM_PATH, "years", "--quiet",
         "--to", "1951-01-01 00:00:00"});
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_NE(full.err.find("devsim: cannot write to standard output"), std::string::npos)
        << full.err;

    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    close(pipe_fds[0]);  // the reader is gone before anything is written
    RunExtras closed;
    closed.stdout_fd = pipe_fds[1];
    const ProcessOutput r =
        RunProcess({DEVSIM_PATH, "run", "nuv", "--at", "2008-12-31 23:59:30"}, {}, closed);
    close(pipe_fds[1]);
    EXPECT_EQ(r.exit_code, 128 + SIGPIPE);
    EXPECT_EQ(r.err.find("crashed"), std::string::npos) << r.err;
}

}  // namespace

namespace {

// One device, one user: while another holds a device, neither devsim nor a
// program started by hand joins in, and the file stays as it was.
TEST_F(StateFiles, ADeviceInUseIsLeftAlone) {
    const std::string state = MakeState("busy", [](sim::DeviceState&) {});
    const int holder = open(state.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const std::string before = ReadFile(state);
    const struct {
        std::vector<std::string> argv;
        std::vector<std::string> env;
        int exit_code;
        std::string says;
    } cases[] = {
        {{DEVSIM_PATH, "run", "nuv", "--state", state}, {}, 2, "devsim: device " + state},
        {{std::string(PROGRAM_DIR) + "/nuv28"}, {"NUV_DEVICE_STATE=" + state}, 125,
         "nuv28: device " + state},
    };
    for (const auto& c : cases) {
        const ProcessOutput r = RunProcess(c.argv, c.env);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_EQ(r.err, c.says + " is in use\n");
    }
    EXPECT_EQ(ReadFile(state), before);
    close(holder);
}

}  // namespace

namespace {

TEST_F(StateFiles, AProgramThatCannotRunIsNotCalledUnbuilt) {
    const std::string dir = Path("programs");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const std::string nuv = Path("programs/nuv");
    std::ofstream(nuv) << "#!/bin/sh\n";
    ASSERT_EQ(chmod(nuv.c_str(), 0644), 0);
    const struct {
        const char* program;
        std::string says;
    } cases[] = {
        {"nuv", "devsim: program nuv cannot be run (" + nuv + ": Permission denied)\n"},
        {"nuv28", "devsim: program nuv28 is not built (no " + dir + "/nuv28)\n"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r =
            RunProcess({DEVSIM_PATH, "run", c.program}, {"DEVSIM_PROGRAM_DIR=" + dir});
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(Unwrapped(r.err), c.says);
    }
    unlink(nuv.c_str());
    EXPECT_EQ(rmdir(dir.c_str()), 0);
}

}  // namespace

namespace {

// A program that spins, exits with the platform's own status, pulls the
// device from under devsim or forges devsim's lines gets one true line
// and the documented status.
TEST(DevsimGuards, AProgramCannotHangOrFoolDevsim) {
    const struct {
        const char* fake;
        int exit_code;
        const char* says;
    } cases[] = {
        {"spin", 3, "devsim: nuv spins: no Sleep for 2 s of CPU time at 2008-12-31 23:59:30"},
        {"busy", 3, "devsim: nuv spins: no Sleep for 2 s of CPU time at 2008-12-31 23:59:30"},
        {"exit125", 125, "devsim: nuv exited with 125 after 10 ms of device time\n"},
        {"truncate", 2, " was truncated during the run\n"},
        {"inject", 0, "devsim: pending x\\ndevsim: clock right\\n\\x1b[8m 2009-01-01 00:00:00\n"},
    };
    for (const auto& c : cases) {
        const ProcessOutput r =
            RunProcess({DEVSIM_PATH, "run", "nuv", "--at", "2008-12-31 23:59:30"},
                       {std::string("DEVSIM_PROGRAM_DIR=") + FAKE_DIR + "/" + c.fake});
        EXPECT_EQ(r.exit_code, c.exit_code) << c.fake << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.fake << ": " << r.err;
        EXPECT_EQ(r.err.find("could not reach"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << c.fake;
    }
}

// A trace that cannot be written fails the run, by whichever route it ran.
TEST(DevsimOutput, ALostTraceFailsTheRun) {
    const std::string nuv_exe = DEVICE_DIR "/nuv.exe";
    const struct {
        std::vector<std::string> argv;
        const char* says;
    } cases[] = {
        {{DEVSIM_PATH, "run", "nuv", "--at", "2008-12-31 23:59:30"},
         "devsim: nuv's trace could not be written: No space left on device\n"},
        {{DEVSIM_PATH, "run", "nuv", "--at", "2008-12-31 23:59:30", "--arm"},
         "devsim: nuv's trace could not be written: No space left on device\n"},
        {{PROGRAM_DIR "/nuv"}, "nuv: cannot write the debug output: No space left on device\n"},
        {{CERUN_PATH, nuv_exe}, "nuv.exe: cannot write the debug output: No space left on device\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full"};
        argv.insert(argv.end(), c.argv.begin(), c.argv.end());
        const ProcessOutput r = RunProcess(argv);
        EXPECT_EQ(r.exit_code, 1) << c.argv[0];
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

}  // namespace
