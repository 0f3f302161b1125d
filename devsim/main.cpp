#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "interrupt.h"
#include "options.h"
#include "run_command.h"
#include "years_command.h"

namespace {

const char kUsage[] = R"(usage: devsim run PROGRAM [options]
       devsim years [--from TIME] [--to TIME] [--hw chip|correct]
                    [--launch-delay MS] [--disable PROGRAM] [--quiet] [--arm]

devsim run: runs one fixer program (nuv, nuv28 or nuv29), the host build found beside
devsim, as its own process on a fresh simulated device with an empty launch
table, and reports what it did.

options:
  --at "YYYY-MM-DD HH:MM:SS[.mmm]"  set the RTC right for this local time
                                    (years 1950 to 2205; default: the host's now)
  --regs YY,MO,DW,DT,HH,MI,SS       set the seven calendar registers to these raw
                                    hex bytes instead (prescaler phase 0)
  --hw chip|correct                 chip (default): the device's faulty calendar,
                                    which counts the binary year as BCD;
                                    correct: Gregorian months and a binary year
  --midnight REG=HEX[,REG=HEX...]   after the first midnight step force these
                                    registers (year month day date hour min sec)
  --ignore-writes                   the RTC drops every calendar write
  --shell-after S                   the shell is ready S seconds after the start
                                    (0 to 86400)
  --limit S                         stop a program still running after S seconds
                                    of device time (1 to 86400, default 3600)
  --io                              also log on stderr, in order, every register
                                    access, kernel mode change, unattended-mode
                                    request and withdrawal, and registration
  --arm                             run the device executable (device/PROGRAM.exe)
                                    as ARM code under cerun instead of the host
                                    build; everything printed stays the same
  --state FILE                      keep the device in FILE: a fresh one when
                                    FILE does not exist, else the device as the
                                    last run left it (clock, registers, pending
                                    launches), without the options that set
                                    up a device

stdout carries the program's debug output, byte for byte. stderr carries
devsim's account, ending with the final registers, the pending and refused
launches and the unattended-mode count.

exit status: the program's own when it ran clean; 3 when it was stopped at the
limit, crashed, broke an access rule or left kernel mode or RTCEN on; 2 for
bad arguments.

devsim years: one device over a span of years. At --from (default
"1950-01-01 00:00:00") the RTC is set right, the launch table is empty, and
the first fixer not disabled is started by hand; from then on each pending
launch falls due when the RTC's local time reaches it and the program starts
--launch-delay ms later (default 250) as its own process. A true calendar is
kept beside the device: the RTC is right when it shows a valid date and time
within 10 minutes of it. Up to --to (default "2205-12-31 12:00:00").

  --hw chip|correct      the RTC's calendar, as for run (default chip)
  --disable PROGRAM      leave nuv, nuv28 or nuv29 uninstalled (repeatable)
  --quiet                only the summary line
  --arm                  run the device executables under cerun, as for run

stdout: one line per year in which the chip stepped wrong or a fixer wrote,
then always
  summary: years=Y launches=L fixes=F unguarded=U worst_wrong_ms=W drift_ms=D end=right|wrong
with U the rollovers after which the RTC stayed wrong with no program
watching, W the longest wrong time at one rollover, D the RTC's final drift.

exit status: 0 when U is 0 and the RTC is right at --to; 1 otherwise; 3 when a
guard fired (a program crashed, broke an access rule, ran over 3600 s of device
time, or was launched more than 10 times within a minute); 2 for bad arguments.
)";

// A report that could not be written is a failure, not a success.
int Finish(int status) {
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "devsim: cannot write to standard output\n";
        return status == 0 ? 1 : status;
    }
    return status;
}

int BadArgs(const std::string& why) {
    std::cerr << "devsim: " << why << " (see devsim --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file size limit a write fails (and is reported) rather than killing devsim.
    std::signal(SIGXFSZ, SIG_IGN);
    devsim::InstallInterruptHandlers();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return BadArgs("no command given");
    }
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "run") {
        std::string error;
        const auto options = devsim::ParseRunOptions(rest, error);
        if (!options) {
            return BadArgs(error);
        }
        return Finish(devsim::RunCommand(*options));
    }
    if (command == "years") {
        std::string error;
        const auto options = devsim::ParseYearsOptions(rest, error);
        if (!options) {
            return BadArgs(error);
        }
        return Finish(devsim::YearsCommand(*options));
    }
    return BadArgs("unknown command '" + command + "'");
}
