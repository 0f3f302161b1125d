// The owner's actions on the simulated device: what the shell, the
// installer, Settings and a reset do, each program started as a process
// of its own.
#include <strings.h>

#include <algorithm>

#include "account.h"
#include "owner_device.h"
#include "process.h"
#include "setup_calls.h"
#include "simulation.h"
#include "state_file.h"

namespace devsim {

namespace {

constexpr int64_t kSetupLimitS = 60;

// Index in sim::kFixers of the program at `path`, or -1.
int FixerAt(const std::string& path) {
    for (int p = 0; p < sim::kFixerCount; ++p) {
        if (strcasecmp(sim::kFixers[p].path, path.c_str()) == 0) {
            return p;
        }
    }
    return -1;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& i : items) {
        text += (text.empty() ? "" : ", ") + i;
    }
    return text;
}

}  // namespace

// A program started at `path`, a shortcut followed to its program; a path
// with no file is refused as the shell refuses it.
sim::Status Simulation::StartPath(const std::string& path, const std::string& how) {
    const sim::File* file = sim::FindFile(d_, path);
    if (file == nullptr) {
        Note(path + " not started " + how + ": no such file");
        return sim::Ok();
    }
    const int program = FixerAt(file->target[0] != '\0' ? file->target : file->path);
    if (program < 0) {
        Note(path + " not started " + how + ": not a program");
        return sim::Ok();
    }
    if (const sim::Status ran = Launch(program, how); !ran) {
        return ran;
    }
    return RunStarts(sim::kFixers[program].name);
}

// What a process asked CreateProcessW to start, in order.
sim::Status Simulation::RunStarts(const std::string& by) {
    while (const std::optional<std::string> path = sim::TakeStart(d_)) {
        if (const sim::Status ran = StartPath(*path, "by " + by); !ran) {
            return ran;
        }
    }
    return sim::Ok();
}

// One function of the setup library, as the installer calls it; its result.
sim::Result<int> Simulation::RunSetup(const char* export_name) {
    const ProgramCommand command = SetupCommand(export_name, s_.arm);
    if (const sim::Status usable = CheckProgram(command); !usable) {
        return sim::Fail(std::string(sim::kSetupLibrary) + " " + usable.why());
    }
    sim::BeginRun(d_, kSetupLimitS, 0, false);
    const ProcessResult result = RunProgram(command, file_, sim::LockDescriptor(&d_), true);
    const std::vector<std::string> problems = RunProblems(command.program, result, d_);
    sim::EndProcess(d_);
    if (!problems.empty()) {
        return sim::Fail(problems.front());
    }
    Note(std::string(sim::kSetupLibrary) + " " + export_name + " returned " +
         std::to_string(result.exit_code));
    return result.exit_code;
}

// The setup library's _Init function: whether the installer goes on (it
// returned 0); when not, `cancelled` is said.
sim::Result<bool> Simulation::SetupGoesOn(const char* export_name, const char* cancelled) {
    const sim::Result<int> init = RunSetup(export_name);
    if (init && *init != 0) {
        Note(cancelled);
    }
    return init ? sim::Result<bool>(*init == 0) : sim::Fail(init.why());
}

sim::Status Simulation::Install() {
    const sim::Result<bool> go_on =
        SetupGoesOn("Install_Init", "installation cancelled by the setup library");
    if (!go_on || !*go_on) {
        return go_on ? sim::Ok() : sim::Fail(go_on.why());
    }
    std::vector<std::string> placed;
    for (const sim::PackageFile& f : sim::PackageFiles()) {
        if (sim::AddFile(d_, f)) {
            placed.push_back(f.path);
        }
    }
    Note("installed " + Joined(placed));
    const sim::Result<int> exit = RunSetup("Install_Exit");
    if (!exit) {
        return sim::Fail(exit.why());
    }
    return RunStarts(sim::kSetupLibrary);
}

sim::Status Simulation::Uninstall() {
    if (sim::FindFile(d_, sim::ShortcutPath()) == nullptr) {
        Note("nothing to remove: the cabinet is not installed");
        ++refusals_;
        return sim::Ok();
    }
    const sim::Result<bool> go_on =
        SetupGoesOn("Uninstall_Init", "removal cancelled by the setup library");
    if (!go_on || !*go_on) {
        return go_on ? sim::Ok() : sim::Fail(go_on.why());
    }
    std::vector<std::string> removed;
    for (const sim::PackageFile& f : sim::PackageFiles()) {
        if (sim::RemoveFile(d_, f.path)) {
            removed.push_back(f.path);
        }
    }
    Note("removed " + Joined(removed));
    const sim::Result<int> exit = RunSetup("Uninstall_Exit");
    return exit ? sim::Ok() : sim::Fail(exit.why());
}

sim::Status Simulation::Reset(const OwnerAction& action) {
    if (action.kind == OwnerAction::Kind::SoftReset) {
        sim::EndProcess(d_);
        Note("soft reset: files, launches and the clock kept");
        return sim::Ok();
    }
    sim::ColdBoot(d_, action.rtc_kept);
    Note(std::string(action.kind == OwnerAction::Kind::HardReset ? "hard reset"
                                                                 : "battery left flat") +
         ": files and launches gone, " +
         (action.rtc_kept ? "the RTC kept time"
                          : "the RTC set to " + sim::FormatDateTime(sim::kColdBootTime)));
    Judge();
    return sim::Ok();
}

void Simulation::SetClock(const OwnerAction& action) {
    const sim::DateTime t = action.time ? *action.time : sim::FromMs(d_.os.clock_ms);
    sim::SetClock(d_, t);
    Note("clock set to " + sim::FormatDateTime(t));
    Judge();
}

sim::Status Simulation::Apply(const OwnerAction& action) {
    using Kind = OwnerAction::Kind;
    switch (action.kind) {
        case Kind::Install: return Install();
        case Kind::Uninstall: return Uninstall();
        case Kind::Copy:
            for (const sim::PackageFile& f : sim::PackageFiles()) {
                if (f.target.empty()) {
                    sim::AddFile(d_, f);
                }
            }
            Note("copied the programs to \\Windows");
            return sim::Ok();
        case Kind::Start:
            refusals_ += sim::FindFile(d_, action.path) == nullptr ? 1 : 0;
            return StartPath(action.path, "by hand");
        case Kind::SetClock:
            SetClock(action);
            return RunUntil(d_.os.clock_ms + s_.launch_delay_ms);  // what is due now runs
        case Kind::Wait:
            return RunUntil(action.time ? sim::ToMs(*action.time) : d_.os.clock_ms + action.wait_ms);
        case Kind::Delete:
            Note(sim::RemoveFile(d_, action.path) ? "deleted " + action.path
                                                  : "no file " + action.path + " to delete");
            return sim::Ok();
        default: return Reset(action);
    }
}

}  // namespace devsim
