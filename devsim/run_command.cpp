#include "run_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "account.h"
#include "process.h"
#include "say.h"
#include "state_file.h"

namespace devsim {

namespace {

// The device for this run: a fresh one, or the one an earlier run left in
// --state; `file` gets its path. Says why on stderr when there is none.
sim::DeviceState* OpenDevice(const RunOptions& options, std::string& file) {
    if (options.state_file.empty()) {
        sim::DeviceState initial;
        sim::InitDevice(initial, options.device);
        return CreateTempDevice(initial, file);
    }
    file = options.state_file;
    return OpenKeptDevice(file, options.device, options.device_set,
                          "--at, --regs, --hw, --midnight and --ignore-writes");
}

}  // namespace

namespace {

// What devsim says after the run: how the program ended, what was wrong,
// and the device as it left it.
std::string Account(const RunOptions& options, const ProcessResult& result,
                    const std::vector<std::string>& problems, const sim::DeviceState& d,
                    int64_t run_start) {
    std::string account;
    if (result.started && result.exited && d.os.stopped_at_limit == 0 &&
        d.os.program_fault[0] == '\0') {
        account += "devsim: " + options.program + " exited with " +
                   std::to_string(result.exit_code) + " after " +
                   Duration(d.os.clock_ms - run_start) + " of device time\n";
    }
    for (const std::string& p : problems) {
        account += "devsim: " + p + "\n";
    }
    return account + AccountLines(d) + VerdictLine(d);
}

void CloseDevice(const RunOptions& options, sim::DeviceState* d, const std::string& file) {
    sim::CloseStateFile(d);
    if (options.state_file.empty()) {
        RemoveTempDevice(file);
    }
}

}  // namespace

int RunCommand(const RunOptions& options) {
    const ProgramCommand command = CommandFor(options.program, options.arm);
    if (!AllUsable({command})) {
        return 2;
    }
    std::string file;
    sim::DeviceState* d = OpenDevice(options, file);
    if (d == nullptr) {
        return 2;
    }
    sim::BeginRun(*d, options.device.limit_s, options.device.shell_after_s,
                  options.device.io_trace);
    const int64_t run_start = d->os.clock_ms;
    std::cout.flush();
    const ProcessResult result = RunProgram(command, file, sim::LockDescriptor(d), false);
    if (result.started && !result.exited && result.signal == SIGPIPE) {
        // Whoever read the trace stopped reading: no crash, and nobody to tell.
        sim::EndProcess(*d);
        CloseDevice(options, d, file);
        return 128 + SIGPIPE;
    }
    const std::vector<std::string> problems = RunProblems(options.program, result, *d);
    sim::EndProcess(*d);
    sim::CatchUp(*d);  // the registers as the chip holds them now, not as last read
    Say(Account(options, result, problems, *d, run_start));
    const int trace_errno = d->os.trace_errno;
    CloseDevice(options, d, file);
    if (trace_errno != 0) {
        Say("devsim: " + options.program + "'s trace could not be written: " +
            std::strerror(trace_errno) + "\n");
    }
    if (!problems.empty()) {
        return 3;
    }
    return trace_errno != 0 ? 1 : result.exit_code;
}

}  // namespace devsim
