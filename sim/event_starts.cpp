#include "event_starts.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "notification_store.h"

namespace sim {

namespace {

// notify.h's events and their command lines (APP_RUN_*), by number from 1.
const EventKind kEvents[kLastEvent] = {
    {"time change", "AppRunAfterTimeChange"},
    {"end of a sync", "AppRunAfterSync"},
    {"AC power on", "AppRunAtAcPowerOn"},
    {"AC power off", "AppRunAtAcPowerOff"},
    {"network connected", "AppRunAtNetConnect"},
    {"network disconnected", "AppRunAtNetDisconnect"},
    {"device change", "AppRunDeviceChange"},
    {"infrared discovery", "AppRunAtIrDiscovery"},
    {"RS232 connection", "AppRunAtRs232Detect"},
    {"end of a restore", "AppRunAfterRestore"},
    {"wake-up", "AppRunAfterWakeup"},
    {"time zone change", "AppRunAfterTzChange"},
    {"machine name change", nullptr},
    {"RNDIS detected", "AppRunAfterRndisFnDetected"},
    {"proxy change", "AppRunAfterInternetProxyChange"},
};

void Refuse(DeviceState& d, const std::string& path, int32_t event, Refusal why) {
    if (d.log.event_refused_count < kMaxRefused) {
        EventRefusal& r = d.log.event_refused[d.log.event_refused_count];
        std::snprintf(r.path, sizeof r.path, "%s", path.c_str());
        r.event = event;
        r.refusal = why;
    }
    ++d.log.event_refused_count;
}

bool Same(const EventStart& s, const std::string& path) {
    return s.handle != 0 && strcasecmp(s.path, path.c_str()) == 0;  // as the platform compares paths
}

void Withdraw(DeviceState& d, const std::string& path) {
    for (EventStart& s : d.os.event_starts) {
        if (Same(s, path)) {
            s = EventStart{};
        }
    }
}

// Why the platform refuses `path` for `event`; nothing when it takes it.
std::optional<Refusal> Refusing(const DeviceState& d, const std::string& path, int32_t event) {
    if (!FindEvent(event)) {
        return kNoSuchEvent;
    }
    if ((d.os.store.fails & kFailRegister) != 0) {
        return kStoreFailed;
    }
    if (path.size() >= kPathBytes) {
        return kPathTooLong;
    }
    return std::nullopt;
}

}  // namespace

std::optional<EventKind> FindEvent(int32_t event) {
    if (event < 1 || event > kLastEvent) {
        return std::nullopt;
    }
    return kEvents[event - 1];
}

bool DeviceRunAppAtEvent(DeviceState& d, const std::string& path, int32_t event) {
    if (event == kEventNone) {
        Withdraw(d, path);
        return true;
    }
    if (const std::optional<Refusal> why = Refusing(d, path, event)) {
        Refuse(d, path, event, *why);
        return false;
    }
    // Each call is a record of its own: unlike CeRunAppAtTime, the platform
    // documents no replacing, so a program that registers twice without
    // withdrawing first is started twice.
    EventStart* free = nullptr;
    for (EventStart& s : d.os.event_starts) {
        free = free == nullptr && s.handle == 0 ? &s : free;
    }
    const uint32_t handle = free != nullptr ? GiveNotificationHandle(d) : 0;
    if (handle == 0) {
        Refuse(d, path, event, free == nullptr ? kTableFull : kStoreFailed);
        return false;
    }
    std::snprintf(free->path, sizeof free->path, "%s", path.c_str());
    free->event = static_cast<uint32_t>(event);
    free->handle = handle;
    return true;
}

std::vector<std::string> EventStartPaths(const DeviceState& d, int32_t event) {
    std::vector<const EventStart*> found;
    for (const EventStart& s : d.os.event_starts) {
        if (s.handle != 0 && static_cast<int32_t>(s.event) == event) {
            found.push_back(&s);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const EventStart* a, const EventStart* b) { return a->handle < b->handle; });
    std::vector<std::string> paths;
    for (const EventStart* s : found) {
        paths.emplace_back(s->path);
    }
    return paths;
}

void ClearEventStarts(DeviceState& d) {
    for (EventStart& s : d.os.event_starts) {
        s = EventStart{};
    }
}

bool SaneEventStarts(const DeviceState& d) {
    for (const EventStart& s : d.os.event_starts) {
        const bool terminated = std::memchr(s.path, '\0', sizeof s.path) != nullptr;
        if (s.handle != 0 &&
            (!terminated || !FindEvent(static_cast<int32_t>(s.event)) ||
             s.handle > d.os.next_notification)) {
            return false;
        }
    }
    return std::memchr(d.os.command_line, '\0', sizeof d.os.command_line) != nullptr;
}

void SetCommandLine(DeviceState& d, const std::string& text) {
    std::snprintf(d.os.command_line, sizeof d.os.command_line, "%s", text.c_str());
}

std::string CommandLine(const DeviceState& d) {
    return std::string(d.os.command_line, strnlen(d.os.command_line, sizeof d.os.command_line));
}

}  // namespace sim
