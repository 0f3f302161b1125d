// What the status program tells the owner: the set is on and when the
// handheld next checks its clock, or what is wrong and the one thing to do.
#pragma once

#include "status_platform.h"

// What the notification store holds for a program, against the time the
// re-arming asked for.
enum Held {
    HELD_NOT,        // the whole store was read: no timed launch of it
    HELD_AT_DUE,     // a timed launch at the time asked for
    HELD_ELSEWHEN,   // a timed launch, but at another time
    HELD_UNKNOWN     // not found, and some of the store could not be read
};

// What the status program found for one program of the set.
struct FixerStatus {
    LPCWSTR path;
    bool file_there;
    bool due;           // the re-arming registers it: its date exists this time
    SYSTEMTIME due_at;  // the time the re-arming asked for
    bool asked;         // the platform took the request
    Held held;
};

static const unsigned STATUS_TEXT_SIZE = 600;
static const unsigned MAX_FIXERS = 8;

// The message for the owner at local time `now`, into `text`
// (STATUS_TEXT_SIZE characters), and the icon it goes with: a clock before
// the release date first, then missing files, then checks the platform did
// not take or does not hold, then checks it could not read back; else the
// checks it holds, in date order. What to tap names the Start menu's
// shortcut, or, where there is none (installed by hand), the file.
UINT ComposeStatus(const SYSTEMTIME& now, const FixerStatus* fixers, unsigned count, WCHAR* text,
                   bool in_start_menu = true);

// The program's work, started with `command_line`: arms the set as a fixer
// does and follows changes of the clock; then, unless the platform started
// it for such a change, says in one box whether the set is armed.
int ShowStatus(LPCWSTR command_line);

// Whether the platform started the program for a change of the clock or of
// the time zone (its command line names the event), not the owner.
bool StartedByClockChange(LPCWSTR command_line);

// Whether `t` is a date that exists (29 February only in a leap year).
bool DateExists(const SYSTEMTIME& t);
