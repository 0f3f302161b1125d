// Programs the platform starts when a system event occurs
// (CeRunAppAtEvent): kept in the notification store beside the timed
// launches, each started with the command line that names its event.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device_state.h"

namespace sim {

// The events notify.h numbers (NOTIFICATION_EVENT_*).
constexpr int32_t kEventNone = 0;
constexpr int32_t kEventTimeChange = 1;
constexpr int32_t kEventTzChange = 12;
constexpr int32_t kLastEvent = 15;  // NOTIFICATION_EVENT_INTERNET_PROXY_CHANGE

// How the account names an event ("time change"), and the command line
// the platform starts a program with for it (none where notify.h gives
// none); nothing for an event the platform does not document.
struct EventKind {
    const char* name;
    const char* command_line;
};
std::optional<EventKind> FindEvent(int32_t event);

// CeRunAppAtEvent: `path` started at every `event` from now on, once
// however often asked; kEventNone withdraws every event start of `path`.
// False, with the refusal in the run log, for an event the platform does
// not document, a path too long, a full table or a failing store.
bool DeviceRunAppAtEvent(DeviceState& d, const std::string& path, int32_t event);

// The programs registered for `event`, in the order they were registered.
std::vector<std::string> EventStartPaths(const DeviceState& d, int32_t event);
// Every event start gone (a cold boot).
void ClearEventStarts(DeviceState& d);
// Whether the table holds only what the platform could have made.
bool SaneEventStarts(const DeviceState& d);

// The running program's command line, as the platform passes it.
void SetCommandLine(DeviceState& d, const std::string& text);
std::string CommandLine(const DeviceState& d);

}  // namespace sim
