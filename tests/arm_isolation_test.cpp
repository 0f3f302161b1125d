// The resident ARM runner keeps one emulator per image across launches:
// nothing one launch does, a hostile one included, may reach the next. A
// mixed sequence through one server ends exactly as with a fresh server
// per launch: each launch's status, report and whole device state.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "account.h"
#include "arm_server.h"
#include "device.h"
#include "state_file.h"

namespace {

struct Step {
    const char* program;
    std::string image;
    int64_t shell_after_s;  // a late shell keeps a fixer waiting into the limit
};

struct Outcome {
    int exit_code;
    int signal;
    std::string problems;
    size_t device_hash;
    bool operator==(const Outcome& o) const {
        return exit_code == o.exit_code && signal == o.signal && problems == o.problems &&
               device_hash == o.device_hash;
    }
};

std::vector<Step> Sequence() {
    const std::string bad = ARM_BAD_DIR "/arm_bad_";
    // Twice the program that finds what an earlier launch left in its data
    // or below its stack.
    std::vector<Step> steps = {{"nuv", DEVICE_DIR "/nuv.exe", 0},
                               {"nuv", ARM_BAD_DIR "/arm_remember.exe", 0},
                               {"nuv", ARM_BAD_DIR "/arm_remember.exe", 0}};
    for (const char* name : {"thumb_bx", "clz", "misaligned", "outside_page", "wide_register",
                             "wild_jump", "unknown_import", "write_code", "write_trap",
                             "print_register", "trap_jump", "sleep_zero", "spin"}) {
        steps.push_back({"nuv", bad + name + ".exe", 0});
        steps.push_back({"nuv28", DEVICE_DIR "/nuv28.exe", 0});
    }
    steps.push_back({"nuv", DEVICE_DIR "/nuv.exe", 100});  // stopped at the limit
    steps.push_back({"nuv29", DEVICE_DIR "/nuv29.exe", 0});
    return steps;
}

// Runs the sequence on a fresh device, through one server or one per step.
std::vector<Outcome> RunSequence(bool server_per_step) {
    sim::DeviceConfig config;
    config.at = {2008, 12, 31, 23, 59, 30, 0};
    sim::DeviceState initial;
    sim::InitDevice(initial, config);
    std::string path;
    sim::DeviceState* d = *sim::CreateTempStateFile("/tmp", initial, path);
    const devsim::ProgramCommand runner{"nuv", CERUN_PATH, {}};
    devsim::ArmServer server{};
    std::vector<Outcome> outcomes;
    for (const Step& step : Sequence()) {
        if (server.pid <= 0) {
            server = *devsim::StartArmServer(runner, sim::LockDescriptor(d));
        }
        sim::BeginRun(*d, 60, step.shell_after_s, false);
        const devsim::ProcessResult r = devsim::RunOnArmServer(
            server, {step.program, CERUN_PATH, {step.image}}, path, true);
        std::string problems;
        for (const std::string& p : devsim::RunProblems(step.program, r, *d)) {
            problems += p + "\n";
        }
        sim::EndProcess(*d);
        const std::string bytes(reinterpret_cast<const char*>(d), sizeof *d);
        outcomes.push_back({r.exit_code, r.signal, problems, std::hash<std::string>()(bytes)});
        if (server_per_step) {
            devsim::StopArmServer(server);
        }
    }
    devsim::StopArmServer(server);
    sim::CloseStateFile(d);
    unlink(path.c_str());
    return outcomes;
}

TEST(ArmIsolation, OneServerEndsEachLaunchAsAFreshServerWould) {
    const std::vector<Outcome> shared = RunSequence(false);
    const std::vector<Outcome> fresh = RunSequence(true);
    const std::vector<Step> steps = Sequence();
    ASSERT_EQ(shared.size(), steps.size());
    ASSERT_EQ(fresh.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(shared[i], fresh[i]) << i << " " << steps[i].image << ":\n"
                                       << shared[i].problems << "---\n" << fresh[i].problems;
    }
    EXPECT_EQ(shared[2].exit_code, 0) << "the second launch found what the first left";
    // The reports are the exact ones, found again with every check.
    EXPECT_NE(shared[5].problems.find("crashed (undefined instruction at ARM address 0x00011000)"),
              std::string::npos)
        << shared[5].problems;
    EXPECT_NE(shared[shared.size() - 2].problems.find("stopped at the limit"), std::string::npos);
    EXPECT_EQ(shared.back().problems, "");
}

}  // namespace
