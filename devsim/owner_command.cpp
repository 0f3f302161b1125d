#include "owner_command.h"

#include <iostream>

#include "account.h"
#include "notification_store.h"
#include "owner_device.h"
#include "arm_server.h"
#include "process.h"
#include "say.h"
#include "setup_calls.h"
#include "simulation.h"
#include "state_file.h"
#include "text.h"

namespace devsim {

namespace {

void Tell(const std::string& line) {
    std::cout << Fitted("devsim: " + sim::Escaped(line) + "\n");
}

// Where a wait ends, or why it cannot: before now, or past what the year
// register holds.
sim::Result<int64_t> WaitEnd(const OwnerAction& a, const sim::DeviceState& d, int64_t last_ms) {
    const int64_t until = a.time ? sim::ToMs(*a.time) : d.os.clock_ms + a.wait_ms;
    if (until < d.os.clock_ms) {
        return sim::Fail(a.text + ": the device's time is already " +
                         sim::FormatDateTime(sim::FromMs(d.os.clock_ms)));
    }
    if (until > last_ms) {
        return sim::Fail(a.text + ": that is past " + sim::FormatDateTime(sim::FromMs(last_ms)) +
                         ", the last time the year register holds");
    }
    return until;
}

// The object store's files, a shortcut with the program it starts.
std::string FileLines(const sim::DeviceState& d) {
    std::string lines;
    for (const sim::File& f : d.os.files) {
        if (f.used != 0) {
            lines += "devsim: file " + sim::Escaped(f.path) +
                     (f.target[0] != '\0' ? " -> " + sim::Escaped(f.target) : "") + "\n";
        }
    }
    return lines.empty() ? "devsim: no files\n" : lines;
}

// The installer's record of what it installed, as Remove Programs lists it.
std::string RecordLines(const sim::DeviceState& d) {
    if (d.os.installed == 0) {
        return "";
    }
    std::string placed;
    for (const std::string& path : sim::InstalledFiles(d)) {
        placed += (placed.empty() ? "" : ", ") + path;
    }
    return "devsim: installed application \"" + sim::ApplicationName() + "\" (placed " + placed +
           "; its setup library kept for removal)\n";
}

// The store's other notifications, which a reader of it must get past.
std::string NotesLine(const sim::DeviceState& d) {
    return "devsim: the notification store also holds " + std::to_string(sim::NoteCount(d)) +
           " notifications of other programs\n";
}

// Each action in turn; 3 when a program or the setup library ran unclean,
// 2 for a wait into the past. `fell_short` is set when the device refused
// an action (a start with no file) or a rollover went unguarded.
int Act(const OwnerOptions& options, sim::DeviceState& d, const std::string& file,
        ArmServer* arm, bool& fell_short) {
    SpanSettings settings;
    settings.to_ms = sim::ToMs(sim::DateTime{kLastYear, 12, 31, 23, 59, 59, 999});
    settings.arm = options.arm;
    settings.say = Tell;
    Simulation device(settings, d, file, arm);
    for (const OwnerAction& a : options.actions) {
        if (a.kind == OwnerAction::Kind::Wait) {
            if (const sim::Result<int64_t> end = WaitEnd(a, d, settings.to_ms); !end) {
                Say("devsim: " + sim::Escaped(end.why()) + "\n");
                return 2;
            }
        }
        Tell("> " + a.text);
        const sim::Status done = device.Apply(a);
        std::cout << device.TakeReport();
        if (!done) {
            std::cout.flush();
            Say("devsim: " + done.why() + "\n");
            return 3;
        }
    }
    fell_short = device.Refusals() > 0 || device.Unguarded() > 0 || device.HiddenBoxes() > 0;
    return 0;
}

// Every program, the status program and the setup library, as `arm` runs them.
std::vector<ProgramCommand> Commands(bool arm) {
    std::vector<ProgramCommand> commands;
    for (const sim::Fixer& f : sim::kFixers) {
        commands.push_back(CommandFor(f.name, arm));
    }
    commands.push_back(CommandFor(sim::kStatusProgram.name, arm));
    commands.push_back(SetupCommand(sim::kSetupExports[0].name, arm));
    return commands;
}

}  // namespace

int OwnerCommand(const OwnerOptions& options) {
    if (!AllUsable(Commands(options.arm))) {
        return 2;
    }
    sim::DeviceState* d = OpenKeptDevice(options.state_file, options.device, options.device_set,
                                         "--at, --hw and --store");
    if (d == nullptr) {
        return 2;
    }
    sim::ClearRefused(*d);  // the account says what this command's programs were refused
    sim::Result<ArmServer> arm = ArmServer{};
    if (options.arm) {
        arm = StartArmServer(CommandFor(sim::kFixers[0].name, true), sim::LockDescriptor(d));
    }
    int status = 3;
    bool fell_short = false;
    if (!arm) {
        Say("devsim: cannot start the ARM runner: " + arm.why() + "\n");
    } else {
        status = Act(options, *d, options.state_file, options.arm ? &*arm : nullptr, fell_short);
        StopArmServer(*arm);
    }
    if (status == 0) {
        sim::CatchUp(*d);
        std::cout << Fitted("devsim: now " + sim::FormatDateTime(sim::FromMs(d->os.clock_ms)) +
                            " (true time)\n" + FileLines(*d) + RecordLines(*d) +
                            AccountLines(*d, false) + NotesLine(*d) +
                            VerdictLine(*d));
    }
    // As devsim years: 1 when the clock ends wrong or a rollover went unguarded.
    const bool wrong = status == 0 && (fell_short || !ClockRight(*d));
    sim::CloseStateFile(d);
    return wrong ? 1 : status;
}

}  // namespace devsim
