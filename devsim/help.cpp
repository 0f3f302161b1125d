#include "help.h"

namespace devsim {

namespace {

const char kOverview[] = R"(usage: devsim run PROGRAM [options]
       devsim years [options]
       devsim help [run|years]
       devsim --version

devsim drives the clock-fix programs nuv, nuv28 and nuv29 on a simulated
handheld: one run of one program (run), or one device over a span of years
(years). Each program is its own process; it finds the device in the state
file named by NUV_DEVICE_STATE. A program started by hand with that
variable exits 125 when the file is missing, damaged or in use.

)";

const char kRun[] = R"(devsim run PROGRAM: runs one fixer (nuv, nuv28 or nuv29), the host build
found beside devsim, as its own process on a fresh simulated device with an
empty launch table, and reports what it did.

  --at "YYYY-MM-DD HH:MM:SS[.mmm]"  set the RTC right for this local time
                                  (years 1950 to 2205; default: now)
  --regs YY,MO,DW,DT,HH,MI,SS     set the seven calendar registers to these
                                  raw hex bytes instead (prescaler phase 0);
                                  the time they show is the true time (with
                                  no valid date, the clock is not judged)
  --hw chip|correct               chip (default): the device's faulty
                                  calendar, which counts the binary year as
                                  BCD; correct: Gregorian, binary year
  --midnight REG=HEX[,...]        after the first midnight step force these
                                  registers (year month day date hour min sec)
  --ignore-writes                 the RTC drops every calendar write
  --shell-after S                 the shell is ready S seconds after the start
                                  (0 to 86400, default 0)
  --limit S                       stop a program still running after S
                                  seconds of device time (1 to 86400,
                                  default 3600)
  --io                            also log on stderr, in order, every register
                                  access, kernel mode change, unattended-mode
                                  request and withdrawal, and registration
  --arm                           run the device executable device/PROGRAM.exe
                                  as ARM code under cerun instead of the host
                                  build; everything printed stays the same
  --state FILE                    keep the device in FILE: a fresh one when
                                  FILE does not exist, else the device as the
                                  last run left it, without the options that
                                  set up a device; a device in use is refused

stdout carries the program's debug output, byte for byte. stderr carries
devsim's account: the final registers (as the chip holds them at the end),
the pending and refused launches (control characters in a path shown as
\n or \xHH) and the unattended-mode count.

exit status: the program's own when it ran clean (0), whatever it is (125
included); 1 when its trace could not be written; 3 when it was stopped at
the limit, crashed, spun (2 s of CPU, or 20000000 ARM instructions, without
a Sleep that moves device time), broke an access rule or left kernel mode
or RTCEN on, or the ARM runner stopped; 2 for bad arguments, a device that
cannot be made or is in use, or a state file truncated during the run;
128 + N when signal N ended devsim.

)";

const char kYears[] = R"(devsim years: one device over a span of years. At --from the RTC is set
right, the launch table is empty, and the first fixer not disabled is
started by hand; from then on each pending launch falls due when the RTC's
local time reaches it and the program starts --launch-delay ms later as its
own process. A true calendar is kept beside the device: the RTC is right
when it shows a valid date and time within 10 minutes of it.

  --from TIME            start (default "1950-01-01 00:00:00")
  --to TIME              end; nothing after it is simulated (default
                         "2205-12-31 12:00:00"; years 1950 to 2205)
  --hw chip|correct      the RTC's calendar, as for run (default chip)
  --launch-delay MS      from a launch falling due to its start (0 to
                         600000, default 250)
  --disable PROGRAM      leave nuv, nuv28 or nuv29 uninstalled (repeatable)
  --quiet                only the summary line
  --arm                  run the device executables under cerun, as for run

stdout: one line per year in which the chip stepped wrong or a fixer wrote,
then always
  summary: years=Y launches=L fixes=F unguarded=U worst_wrong_ms=W
           drift_ms=D end=right|wrong
(one line) with U the rollovers after which the RTC stayed wrong with no
program watching, W the longest wrong time at one rollover, D the RTC's
final drift.

exit status: 0 when U is 0 and the RTC is right at --to; 1 otherwise, or
when the report cannot be written; 3 when a guard fired (a program crashed,
spun, broke an access rule, ran over 3600 s of device time, or was launched
more than 10 times within a minute, or the ARM runner stopped); 2 for bad
arguments or a state file truncated during the run; 128 + N when signal N
ended devsim.
)";

}  // namespace

const char* HelpFor(const std::string& command) {
    static const std::string all = std::string(kOverview) + kRun + kYears;
    if (command.empty()) {
        return all.c_str();
    }
    if (command == "run") {
        return kRun;
    }
    return command == "years" ? kYears : nullptr;
}

}  // namespace devsim
