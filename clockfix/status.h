// What the status program tells the owner: the set is on and when the
// handheld next checks its clock, or what is wrong and the one thing to do.
#pragma once

#include "status_platform.h"

// What the status program found for one program of the set.
struct FixerStatus {
    LPCWSTR path;
    bool file_there;
    bool due;           // the re-arming registers it: its date exists this time
    SYSTEMTIME due_at;  // the time the re-arming registers
    bool held;          // the platform holds a timed launch for it
    SYSTEMTIME at;      // when, if held
};

static const unsigned STATUS_TEXT_SIZE = 600;
static const unsigned MAX_FIXERS = 8;

// The message for the owner at local time `now`, into `text`
// (STATUS_TEXT_SIZE characters): a clock before the release date first,
// then missing files, then checks the platform does not hold; else the
// checks it holds, in date order.
void ComposeStatus(const SYSTEMTIME& now, const FixerStatus* fixers, unsigned count, WCHAR* text);

// Whether `t` is a date that exists (29 February only in a leap year).
bool DateExists(const SYSTEMTIME& t);
