#include "help.h"

#include <cstring>
#include <utility>

#include "fixers.h"
#include "owner_action.h"

namespace devsim {

namespace {

const char kOverview[] = R"help(usage: devsim run PROGRAM [options]
       devsim years [options]
       devsim owner --state FILE [options] ACTION...
       devsim help [run|years|owner]
       devsim --version

devsim drives the clock-fix programs {all programs} on a simulated
handheld: one run of one program (run), one device over a span of years
(years), or what the owner does to a device kept in a file (owner). Each
program is its own process; it finds the device in the state file named
by NUV_DEVICE_STATE. A program started by hand with that variable exits
125 when the file is missing, damaged or in use.

example: nuv at the New Year of 2009, on the chip as it steps:
  devsim run nuv --at "2008-12-31 23:59:30"

)help";

const char kRun[] = R"help(devsim run PROGRAM: runs one fixer ({one program}), the host build
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
  --io                            also log on stderr, each line at the device
                                  clock (23:59:59.900), in order: every
                                  register access, kernel mode change,
                                  unattended-mode request and withdrawal,
                                  registration, and the program's trace
                                  lines ("trace [RTC] fix year 3b (59)")
  --arm                           run the device executable device/PROGRAM.exe
                                  as ARM code under cerun instead of the host
                                  build; everything printed stays the same
  --state FILE                    keep the device in FILE: a fresh one when
                                  FILE does not exist, else the device as the
                                  last run left it, without the options that
                                  set up a device; a device in use is refused

stdout carries the program's debug output, byte for byte: its
"RTCcontent" block shows the chip's registers (date, day of week), its
"Year:"/"Day:" blocks the system's time (SYSTEMTIME). stderr carries
devsim's account, within 80 columns: the chip's registers at the end
("rtc 3b 01 05 01 00 00 00", year byte 3b is 2009), the pending and
refused launches (control characters in a path shown as \n or \xHH),
how unattended mode was used, and the verdict on the clock.

exit status: the program's own when it ran clean (0), whatever it is (125
included); 1 when its trace could not be written; 3 when it was stopped at
the limit, crashed, spun (2 s of CPU, or 20000000 ARM instructions, without
a Sleep that moves device time), broke an access rule or left kernel mode
or RTCEN on, or the ARM runner stopped; 2 for bad arguments, a device that
cannot be made or is in use, or a state file truncated during the run;
128 + N when signal N ended devsim.

)help";

const char kYears[] = R"help(devsim years: one device over a span of years. At --from the RTC is set
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
  --disable PROGRAM      leave {one program} uninstalled (repeatable)
  --quiet                only the summary line
  --arm                  run the device executables under cerun, as for run
  --events FILE          what the owner does during the span: a line
                         "YYYY-MM-DD HH:MM[:SS] ACTION" each, in time order
                         from --from up to but not at --to (actions as for
                         owner, wait aside; # at a line's start or after a
                         blank starts a comment); each is said on its day,
                         and a program still running then keeps running
                         through it, unless it is a reset

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
more than 10 times within a minute, or more than 10 programs were started
by programs in one chain, or the ARM runner stopped); 2 for bad
arguments or a state file truncated during the run; 128 + N when signal N
ended devsim.
)help";

const char kOwner[] = R"help(devsim owner --state FILE ACTION...: what the handheld's owner does, one
action per argument, in order, on the device kept in FILE: a new device
(RTC right, no files, nothing pending, a dozen other programs'
notifications stored) when FILE does not exist. Programs and the setup
library run as their own processes, as the device starts them; a launch
whose file is gone is dropped and said.

  --at TIME      a new device's true time (default: now)
  --hw chip|correct
                 a new device's calendar, as for run
  --store SETTINGS
                 a new device's notification store, comma-separated:
                 empty, no other programs' notifications at first;
                 time, period or classic, the trigger type it keeps a
                 CeRunAppAtTime request under (time unless said);
                 upper-case, paths kept in capitals; fail-list,
                 fail-read, fail-register, that service fails (the
                 store still counts);
                 fail-alloc, LocalAlloc finds no block over 256
                 bytes; grow-once,
                 another program stores one notification between a
                 program's first listings;
                 lose:PROGRAM, its request taken and then lost;
                 move:PROGRAM, its request kept a minute early
  --arm          run the device executables and setup.dll under cerun

actions:
{actions}
stdout: each action ("devsim: > install") and what followed (setup
library results, programs started and how they exited, the message box a
program showed, files placed or removed, launches that found no file,
rollover lines as years gives them), then the device: true time, files,
the installer's record, rtc, pending launches, how many other programs'
notifications the store holds, the verdict (against the
time last set in Settings, when that is not the true time). Times are on
that clock; a launch that found the handheld's clock away from it names
both ("by its launch at ... on the handheld's clock (true time ...)").

exit status: 0; 1 when the clock ends wrong, a rollover went unguarded,
a program showed a box behind the foreground window, or a start, a
removal or reminders were refused (no such file, not installed, the store
full); 3 when a
program or the setup library crashed, spun, broke an access rule, returned
a result the installer does not know or could not be called, or programs
started programs in a chain of more than 10; 2 for bad arguments, a wait
into the past, a program or the setup library not built, or a device that
cannot be made or is in use; 128 + N when signal N ended devsim.
)help";

}  // namespace

namespace {

// `text` with the programs named from their one list.
std::string Named(std::string text) {
    const std::pair<const char*, std::string> names[] = {
        {"{all programs}", sim::FixerNames("and")},
        {"{one program}", sim::FixerNames("or")},
        {"{actions}", kOwnerActionsHelp}};
    for (const auto& [mark, list] : names) {
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            text.replace(at, std::strlen(mark), list);
        }
    }
    return text;
}

}  // namespace

const char* HelpFor(const std::string& command) {
    static const std::string all =
        Named(std::string(kOverview) + kRun + kYears + "\n" + kOwner);
    static const std::string run = Named(kRun);
    static const std::string years = Named(kYears);
    static const std::string owner = Named(kOwner);
    if (command.empty()) {
        return all.c_str();
    }
    if (command == "run" || command == "owner") {
        return command == "run" ? run.c_str() : owner.c_str();
    }
    return command == "years" ? years.c_str() : nullptr;
}

}  // namespace devsim
