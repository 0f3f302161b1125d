// What the platform holds for the set: its timed launches, read back from
// the notification store, and the programs' files.
#pragma once

#include "status.h"

// Fills each program's `file_there` and `held` (its `path` and `due_at`
// set): one pass over every notification the store holds, of every program.
void ReadBack(FixerStatus* fixers, unsigned count);
