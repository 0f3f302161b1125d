#include "years_command.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "arm_server.h"
#include "owner_device.h"
#include "process.h"
#include "say.h"
#include "setup_calls.h"
#include "simulation.h"
#include "state_file.h"

namespace devsim {

namespace {

// The one start by hand at --from (the first program not disabled), the
// owner's events at their times, the span carried to --to; the exit status.
sim::Result<int> Span(const YearsOptions& o, sim::DeviceState& d, const std::string& file,
                      ArmServer* arm) {
    SpanSettings settings;
    settings.to_ms = sim::ToMs(o.to);
    settings.launch_delay_ms = o.launch_delay_ms;
    settings.disabled = o.disabled;
    settings.arm = o.arm;
    Simulation span(settings, d, file, arm);
    span.Schedule(o.events);
    for (int p = 0; p < sim::kFixerCount; ++p) {
        if (!o.disabled[p]) {
            if (const sim::Status started = span.StartByHand(p); !started) {
                return sim::Fail(started.why());
            }
            break;
        }
    }
    if (const sim::Status done = span.PlayEvents(); !done) {
        return sim::Fail(done.why());
    }
    return span.Finish(o.from.year, o.to.year, o.quiet);
}

// The span on the device in `file`, with the resident ARM runner for --arm;
// the exit status.
int Simulate(const YearsOptions& options, sim::DeviceState& d, const std::string& file) {
    sim::Result<ArmServer> arm = ArmServer{};
    if (options.arm) {
        arm = StartArmServer(CommandFor(sim::kFixers[0].name, true), sim::LockDescriptor(&d));
    }
    if (!arm) {
        Say("devsim: cannot start the ARM runner: " + arm.why() + "\n");
        return 3;
    }
    const sim::Result<int> ran = Span(options, d, file, options.arm ? &*arm : nullptr);
    if (!ran) {
        std::cout.flush();
        Say("devsim: guard: " + ran.why() + "\n");
    }
    StopArmServer(*arm);
    return ran ? *ran : 3;
}

// What the span runs: each program not disabled, and the setup library
// and the status program when an event installs or removes.
std::vector<ProgramCommand> Commands(const YearsOptions& o) {
    std::vector<ProgramCommand> commands;
    for (int p = 0; p < sim::kFixerCount; ++p) {
        if (!o.disabled[p]) {
            commands.push_back(CommandFor(sim::kFixers[p].name, o.arm));
        }
    }
    if (std::any_of(o.events.begin(), o.events.end(), [](const OwnerEvent& e) {
            return e.action.kind == OwnerAction::Kind::Install ||
                   e.action.kind == OwnerAction::Kind::Uninstall;
        })) {
        commands.push_back(SetupCommand(sim::kSetupExports[0].name, o.arm));
        commands.push_back(CommandFor(sim::kStatusProgram.name, o.arm));  // what it starts
    }
    return commands;
}

}  // namespace

int YearsCommand(const YearsOptions& options) {
    if (!AllUsable(Commands(options))) {
        return 2;
    }
    sim::DeviceConfig config;
    config.at = options.from;
    config.hw = options.hw;
    sim::DeviceState initial;
    sim::InitDevice(initial, config);
    // Installed by hand: the programs' files copied, the first started at --from.
    for (const sim::PackageFile& f : sim::PackageFiles()) {
        if (f.target.empty()) {
            sim::AddFile(initial, f);
        }
    }
    std::string file;
    sim::DeviceState* d = CreateTempDevice(initial, file);
    if (d == nullptr) {
        return 2;
    }
    const int status = Simulate(options, *d, file);
    sim::CloseStateFile(d);
    RemoveTempDevice(file);
    return status;
}

}  // namespace devsim
