#include "run_command.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "account.h"
#include "process.h"
#include "state_file.h"

namespace devsim {

int RunCommand(const RunOptions& options) {
    const std::string path = ProgramPath(options.program);
    if (access(path.c_str(), X_OK) != 0) {
        std::cerr << "devsim: program " << options.program << " is not built (no " << path
                  << ")\n";
        return 2;
    }
    sim::DeviceState initial;
    sim::InitDevice(initial, options.device);
    const std::string file = TempStatePath();
    std::string why;
    sim::DeviceState* d = sim::CreateStateFile(file, initial, why);
    if (d == nullptr) {
        std::cerr << "devsim: device state " << file << ": " << why << "\n";
        return 3;
    }
    std::cout.flush();
    const ProcessResult result = RunProgram(path, file, false);
    const std::vector<std::string> problems = RunProblems(options.program, result, *d);

    std::string account;
    if (result.started && result.exited && d->stopped_at_limit == 0) {
        account += "devsim: " + options.program + " exited with " +
                   std::to_string(result.exit_code) + " after " +
                   std::to_string((d->clock_ms - d->start_ms) / 1000) + "." +
                   std::to_string((d->clock_ms - d->start_ms) % 1000 + 1000).substr(1) +
                   " s of device time\n";
    }
    for (const std::string& p : problems) {
        account += "devsim: " + p + "\n";
    }
    account += AccountLines(*d);
    std::cerr << account;

    sim::CloseStateFile(d);
    unlink(file.c_str());
    if (!problems.empty()) {
        return 3;
    }
    return result.exit_code;
}

}  // namespace devsim
