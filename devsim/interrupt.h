// What devsim undoes when a signal ends it (SIGINT, SIGTERM, SIGHUP, or
// SIGPIPE on its own output): the program process it waits for is killed
// and reaped, the temporary state file removed, and devsim exits with
// 128 + the signal's number.
#pragma once

#include <sys/types.h>

#include <string>

namespace devsim {

void InstallInterruptHandlers();

// Signals stay held while a child is started and recorded, so that none is
// left behind unkilled; the child starts with none held.
void HoldInterrupts();
void ReleaseInterrupts();

// The child to kill on a signal (0: none) and the file to remove (empty: none).
void SetInterruptChild(pid_t pid);
void SetInterruptFile(const std::string& path);

// What a signal's end undoes, for another way out (a truncated state file):
// the child killed and reaped, the temporary file removed. Async-signal-safe.
void CleanUpForExit();

}  // namespace devsim
