// The owner's actions on the simulated device: what the shell, the
// installer, Settings and a reset do, each program started as a process
// of its own.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "account.h"
#include "event_starts.h"
#include "named_objects.h"
#include "notification_store.h"
#include "owner_device.h"
#include "process.h"
#include "setup_calls.h"
#include "simulation.h"
#include "state_file.h"
#include "text.h"

namespace devsim {

namespace {

constexpr int64_t kSetupLimitS = 60;
// Programs started by programs, one after another, before it is a storm.
constexpr int kMaxStartChain = 10;

// Index in sim::kFixers of the program at `path`, kStatus for the status
// program, or -1.
int ProgramAt(const std::string& path) {
    for (int p = 0; p < sim::kFixerCount; ++p) {
        if (strcasecmp(sim::kFixers[p].path, path.c_str()) == 0) {
            return p;
        }
    }
    return strcasecmp(sim::kStatusProgram.path, path.c_str()) == 0 ? Simulation::kStatus : -1;
}

// "0x00000100".
std::string HexWord(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", v);
    return text;
}

// Whether `result` is one the installer knows from `export_name`: 0 for
// every function; 1 too (cancel, or undo the installation) but from
// Uninstall_Exit.
bool Documented(const char* export_name, uint32_t result) {
    return result == 0 || (result == 1 && std::strcmp(export_name, "Uninstall_Exit") != 0);
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
// with no file, or a shortcut whose program is gone, is refused as the
// shell refuses it. What the program asks to start is queued, not run.
sim::Status Simulation::StartPath(const std::string& path, const std::string& how,
                                  bool by_owner) {
    const sim::File* file = sim::FindFile(d_, path);
    const bool shortcut = file != nullptr && file->target[0] != '\0';
    const std::string program_path = shortcut ? file->target : path;
    const int program = ProgramAt(program_path);
    std::string refused;
    if (file == nullptr) {
        refused = "no such file";
    } else if (shortcut && sim::FindFile(d_, program_path) == nullptr) {
        refused = "no such file " + program_path;
    } else if (program < 0) {
        refused = "not a program";
    }
    if (!refused.empty()) {
        refusals_ += by_owner ? 1 : 0;
        Note(path + " not started " + how + ": " + refused);
        return sim::Ok();
    }
    return Launch(program, how);
}

sim::Status Simulation::StartAndFollow(const std::string& path, const std::string& how,
                                       bool by_owner) {
    if (const sim::Status ran = StartPath(path, how, by_owner); !ran) {
        return ran;
    }
    return RunStarts();
}

// What the process `by` asked CreateProcessW to start, queued behind what
// is queued already; dropped when it did not end clean, as its process
// was ended before the starts it asked for were made.
void Simulation::TakeStarts(const char* by, bool ran_clean) {
    while (const std::optional<sim::QueuedProgram> start = sim::TakeStart(d_)) {
        if (ran_clean) {
            starts_.push_back({start->path, start->command_line, by});
        }
    }
}

// The queued starts in order, each program's own starts after it. A chain
// of programs starting programs is bounded as a launch storm is.
sim::Status Simulation::RunStarts() {
    for (int chain = 1; !starts_.empty(); ++chain) {
        const QueuedStart next = starts_.front();
        starts_.pop_front();
        if (chain > kMaxStartChain) {
            starts_.clear();
            return sim::Fail("more than " + std::to_string(kMaxStartChain) +
                             " programs started by programs in one chain, the last " +
                             sim::Escaped(next.path) + " by " + next.by + " at " +
                             sim::FormatDateTime(sim::FromMs(d_.os.clock_ms), true));
        }
        command_line_ = next.command_line;
        const sim::Status ran = StartPath(next.path, "by " + next.by, false);
        command_line_.clear();
        if (!ran) {
            starts_.clear();
            return ran;
        }
    }
    return sim::Ok();
}

// One function of the setup library, as the installer calls it; its
// result. What it asked to start runs as soon as it has returned, as the
// platform starts a process at once.
sim::Result<uint32_t> Simulation::RunSetup(const char* export_name) {
    const ProgramCommand command = SetupCommand(export_name, s_.arm);
    if (const sim::Status usable = CheckProgram(command); !usable) {
        return sim::Fail(std::string(sim::kSetupLibrary) + " " + usable.why());
    }
    sim::BeginRun(d_, kSetupLimitS, 0, false);
    const ProcessResult result = RunProgram(command, file_, sim::LockDescriptor(&d_), true);
    std::vector<std::string> problems = RunProblems(command.program, result, d_);
    const std::string named = std::string(sim::kSetupLibrary) + " " + export_name;
    if (problems.empty() && d_.os.setup_returned == 0) {
        problems.push_back(named + " returned nothing: the runner never called it");
    } else if (problems.empty() && !Documented(export_name, d_.os.setup_result)) {
        problems.push_back(named + " returned " + std::to_string(d_.os.setup_result) + " (" +
                           HexWord(d_.os.setup_result) + "), which the installer does not know");
    }
    NoteOpenHandles(command.program);
    NoteBox(command.program);
    sim::EndProcess(d_);
    TakeStarts(sim::kSetupLibrary, problems.empty());
    if (!problems.empty()) {
        return sim::Fail(problems.front());
    }
    const uint32_t returned = d_.os.setup_result;
    Note(named + " returned " + std::to_string(returned));
    if (const sim::Status started = RunStarts(); !started) {
        return sim::Fail(started.why());
    }
    return returned;
}

// The handles a process still held when it ended, said: the platform
// closes them, but a process should. So are the starts the simulated
// device could not keep waiting for it.
void Simulation::NoteOpenHandles(const std::string& program) {
    if (const uint32_t refused = d_.log.long_command_lines; refused > 0) {
        Note(program + "'s CreateProcessW refused " + std::to_string(refused) +
             (refused == 1 ? " start" : " starts") + " with a command line of " +
             std::to_string(sim::kCommandLineBytes) +
             " bytes or more: the simulated device keeps no longer ones");
    }
    if (const uint32_t refused = d_.log.starts_refused; refused > 0) {
        Note(program + "'s CreateProcessW refused " + std::to_string(refused) +
             (refused == 1 ? " start" : " starts") + ": the simulated device keeps " +
             std::to_string(sim::kMaxStarts) + " programs waiting to start for one process");
    }
    if (const int open = sim::OpenHandles(d_); open > 0) {
        Note(program + " ended with " + std::to_string(open) +
             (open == 1 ? " handle" : " handles") + " from CreateProcessW still open");
    }
}

// The setup library's _Init function: whether the installer goes on (it
// returned 0); when not, `cancelled` is said.
sim::Result<bool> Simulation::SetupGoesOn(const char* export_name, const char* cancelled) {
    const sim::Result<uint32_t> init = RunSetup(export_name);
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
    const std::vector<sim::PackageFile> files = sim::PackageFiles();
    uint32_t placed_mask = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (sim::PlaceFile(d_, files[i])) {
            placed.push_back(files[i].path);
            placed_mask |= 1U << i;
        }
    }
    sim::RecordInstalled(d_, placed_mask);
    Note("installed " + Joined(placed));
    const sim::Result<uint32_t> exit = RunSetup("Install_Exit");
    if (!exit) {
        return sim::Fail(exit.why());
    }
    if (*exit == 1) {
        Note("the setup library asked the installer to undo the installation");
        RemoveInstalled();
    }
    return sim::Ok();
}

// What the installer's record lists removed, and the record with it.
std::vector<std::string> Simulation::RemoveInstalled() {
    std::vector<std::string> removed;
    for (const std::string& path : sim::InstalledFiles(d_)) {
        if (sim::RemoveFile(d_, path)) {
            removed.push_back(path);
        }
    }
    sim::RecordInstalled(d_, std::nullopt);
    return removed;
}

sim::Status Simulation::Uninstall() {
    if (d_.os.installed == 0) {
        Note("nothing to remove: the cabinet is not installed");
        ++refusals_;
        return sim::Ok();
    }
    const sim::Result<bool> go_on =
        SetupGoesOn("Uninstall_Init", "removal cancelled by the setup library");
    if (!go_on || !*go_on) {
        return go_on ? sim::Ok() : sim::Fail(go_on.why());
    }
    const std::vector<std::string> removed = RemoveInstalled();
    Note(removed.empty() ? std::string("removed the record; its files were gone already")
                         : "removed " + Joined(removed));
    const sim::Result<uint32_t> exit = RunSetup("Uninstall_Exit");
    return exit ? sim::Ok() : sim::Fail(exit.why());
}

sim::Status Simulation::Reset(const OwnerAction& action) {
    if (action.kind == OwnerAction::Kind::SoftReset) {
        sim::EndProcess(d_);
        sim::ClearMutexes(d_);  // every process ended with it
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

// A new time zone moves the clock as setting it does, from the time the
// owner means now.
void Simulation::ChangeZone(const OwnerAction& action) {
    const int64_t minutes = std::abs(action.wait_ms) / (60 * sim::kMsPerSecond);
    const std::string hours = minutes >= 60 ? std::to_string(minutes / 60) + " h" : "";
    const std::string rest = minutes % 60 != 0 || minutes == 0
                                 ? std::to_string(minutes % 60) + " min"
                                 : "";
    const sim::DateTime t = sim::FromMs(sim::IntendedMs(d_, d_.os.clock_ms) + action.wait_ms);
    sim::SetClock(d_, t);
    Note("time zone changed: the clock moved " + std::string(action.wait_ms < 0 ? "back " : "ahead ") +
         hours + (hours.empty() || rest.empty() ? "" : " ") + rest + " to " +
         sim::FormatDateTime(t));
    Judge();
}

// The programs registered for `event` started, each with its event's
// command line; then the launches the new time makes due run.
sim::Status Simulation::AfterClockSet(int32_t event) {
    const sim::EventKind kind = *sim::FindEvent(event);
    for (const std::string& path : sim::EventStartPaths(d_, event)) {
        command_line_ = kind.command_line;
        const sim::Status ran = StartAndFollow(path, std::string("by the ") + kind.name, false);
        command_line_.clear();
        if (!ran) {
            return ran;
        }
    }
    const int64_t due = d_.os.clock_ms + s_.launch_delay_ms;  // what is due now runs
    const int64_t carry = std::exchange(carry_ms_, due);
    const sim::Status launched = LaunchAsDue();
    carry_ms_ = carry;
    if (!launched) {
        return launched;
    }
    CarryTo(due);
    return sim::Ok();
}

// Other programs' notifications stored, as far as the store has room.
sim::Status Simulation::AddReminders(int count) {
    const int added = sim::AddNotes(d_, count, d_.os.clock_ms);
    std::string line = "other programs stored " + std::to_string(added) + " notifications";
    if (added < count) {
        ++refusals_;
        line += "; " + std::to_string(count - added) + " refused: the notification store is full (" +
                std::to_string(sim::kMaxNotes) + ")";
    }
    Note(line);
    return sim::Ok();
}

// One action at the device's time now; a program it starts pauses at the
// horizon already set.
sim::Status Simulation::ApplyAction(const OwnerAction& action) {
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
        case Kind::Start: return StartAndFollow(action.path, "by hand", true);
        case Kind::SetClock:
            SetClock(action);
            return AfterClockSet(sim::kEventTimeChange);
        case Kind::TimeZone:
            ChangeZone(action);
            return AfterClockSet(sim::kEventTzChange);
        case Kind::Wait:  // Apply carries the device through a wait
            return sim::Ok();
        case Kind::Delete:
            Note(sim::RemoveFile(d_, action.path) ? "deleted " + action.path
                                                  : "no file " + action.path + " to delete");
            return sim::Ok();
        case Kind::Reminders: return AddReminders(action.count);
        default: return Reset(action);
    }
}

}  // namespace devsim
