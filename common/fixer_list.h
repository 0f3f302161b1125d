// The fixer programs, one line each. The host's C++ reads this list as an
// X-macro; CMake reads it for the program targets and device images, and the
// device check and the lint read it for the programs' directories. Adding a
// program takes its directory and one line here.
//
// X(program, directory, watcher, rollover month, rollover date, registered path)
#pragma once

#define FIXER_PROGRAMS(X)                                                  \
    X(nuv, year_end, WatchYearRollover, 0x12, 0x31, "\\Windows\\nuv.exe")  \
    X(nuv28, feb28, WatchFeb28Rollover, 0x02, 0x28, "\\Windows\\nuv28.exe") \
    X(nuv29, feb29, WatchFeb29Rollover, 0x02, 0x29, "\\Windows\\nuv29.exe")

// The status program the owner starts from the Start menu: it arms the set
// as the fixers do, and shows in one message box whether it is armed.
// X(program, directory, installed path)
#define STATUS_PROGRAM(X) X(clockfix, clockfix, "\\Windows\\clockfix.exe")
// The name of its shortcut in the Start menu's Programs, as the installer
// makes it; installed by hand, there is none.
#define STATUS_SHORTCUT_NAME "Clock fix"
