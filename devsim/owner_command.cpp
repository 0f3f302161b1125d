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
// an action (a start with no file), a rollover went unguarded or a box
// opened where the owner cannot see it.
int Act(const OwnerOptions& options, sim::DeviceState& d, const std::string& file,
        ArmServer* arm, bool& fell_short) {
    SpanSettings settings;
    settings.to_ms = sim::ToMs(sim::DateTime{kLastYear, 12, 31, 23, 59, 59, 999});
    settings.arm = options.arm;
    settings.say = Tell;
    settings.report = [](const std::string& lines) { std::cout << lines; };
    Simulation device(settings, d, file, arm);
    const sim::Status done = device.Perform(options.actions);
    if (!done) {
        std::cout.flush();
        Say("devsim: " + (device.BadWait() ? sim::Escaped(done.why()) : done.why()) + "\n");
        return device.BadWait() ? 2 : 3;
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
