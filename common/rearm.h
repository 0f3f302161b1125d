// Keeps the three fixers scheduled: whichever runs registers all three.
#pragma once

#include "platform.h"

// What RearmFixers did for one program: the time it asked for, and
// whether the platform took the request.
struct Registration {
    SYSTEMTIME at;
    BOOL taken;
};

// Waits until the shell accepts calls, then registers every fixer for 23:59:00
// on its rollover date, this year or next, judged on today's date alone.
// With `made`, each program's registration goes there too, up to `room`.
void RearmFixers(Registration* made = 0, unsigned room = 0);

// How many programs the set has; the path program `i` registers.
unsigned FixerCount();
LPCWSTR FixerPath(unsigned i);
// The time RearmFixers registers program `i` for when today is `now`.
SYSTEMTIME RearmTime(unsigned i, const SYSTEMTIME& now);

// Copies `from` field by field: a freestanding ARMv4 build has no memcpy
// for a record copy it cannot prove aligned.
void CopyTime(SYSTEMTIME& to, const SYSTEMTIME& from);

// Traces a SYSTEMTIME as ten debug lines.
void DumpSystemTime(const SYSTEMTIME& t);
