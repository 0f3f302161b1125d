// A mapped state file that someone truncates during a run turns the next
// access to it into SIGBUS. Each mapping is watched, so that such an access
// ends the process with one line naming the file instead of a crash.
#pragma once

#include <cstddef>
#include <string>

namespace sim {

void WatchMapping(const void* at, size_t size, const std::string& path);
void ForgetMapping(const void* at);

// From now on a SIGBUS inside a watched mapping writes "WHO: device state F
// was truncated during the run" on stderr, calls `cleanup` (which must be
// async-signal-safe; may be null) and exits with `exit_code`. Any other
// SIGBUS stays a crash.
void ExitOnTruncation(const char* who, int exit_code, void (*cleanup)());

}  // namespace sim
