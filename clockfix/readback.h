// What the platform holds for the set: its timed launches, read back from
// the notification database, and the programs' files.
#pragma once

#include "status.h"

// Fills `f` for the program at `path`, due at `due_at` by the re-arming.
void ReadBack(LPCWSTR path, const SYSTEMTIME& due_at, FixerStatus& f);
