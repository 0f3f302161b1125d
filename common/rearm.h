// Keeps the three fixers scheduled: whichever runs registers all three.
#pragma once

#include "platform.h"

// Waits until the shell accepts calls, then registers every fixer for 23:59:00
// on its rollover date, this year or next, judged on today's date alone.
void RearmFixers();

// How many programs the set has; the path program `i` registers.
unsigned FixerCount();
LPCWSTR FixerPath(unsigned i);
// The time RearmFixers registers program `i` for when today is `now`.
SYSTEMTIME RearmTime(unsigned i, const SYSTEMTIME& now);

// Traces a SYSTEMTIME as ten debug lines.
void DumpSystemTime(const SYSTEMTIME& t);
