// The notification store as the platform keeps it: the pending launches
// that CeRunAppAtTime makes, beside other programs' notifications (Calendar
// and Tasks reminders, alarms, timed and event starts), each under a handle
// that is never given out twice. CeGetUserNotificationHandles and
// CeGetUserNotification are served from here on both paths; each path only
// lays the record out with its own pointer width.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device_state.h"

namespace sim {

// Trigger types, as the SDK's notify.h numbers them.
constexpr uint32_t kCntEvent = 1;
constexpr uint32_t kCntTime = 2;
constexpr uint32_t kCntPeriod = 3;
constexpr uint32_t kCntClassicTime = 4;

// The command line a timed launch starts its program with.
inline constexpr char kRunAtTimeArguments[] = "AppRunAtTime";

// What a notification shows the owner (CE_USER_NOTIFICATION).
struct UserNote {
    uint32_t action_flags = 0;
    std::u16string title;
    std::u16string text;
    std::u16string sound;
    uint32_t max_sound = 0;
};

// One stored notification as CeGetUserNotification gives it, apart from
// where its parts are laid out.
struct NotificationRecord {
    uint32_t handle = 0;
    uint32_t type = 0;
    uint32_t event = 0;
    std::optional<std::u16string> application;  // none for some event notifications
    std::optional<std::u16string> arguments;
    SYSTEMTIME start{};
    SYSTEMTIME end{};
    std::optional<UserNote> user;
};

// CeGetUserNotificationHandles with room for `room` handles: the handles
// and TRUE when they fit; FALSE with `needed` the count when they do not;
// FALSE with `needed` 0 when the store fails (asked for the count alone,
// a failing store still gives it).
struct HandleList {
    bool ok = false;
    uint32_t needed = 0;
    std::vector<uint32_t> handles;
};
HandleList ListNotifications(const DeviceState& d, uint32_t room);
// CeGetUserNotificationHandles as a program calls it: the same, on a store
// that may change between a program's calls (the grow-once setting).
HandleList AnswerHandles(DeviceState& d, uint32_t room);

// The notification `handle` names; nothing for a handle never given out,
// one whose notification is gone, or when the store fails.
std::optional<NotificationRecord> ReadNotification(const DeviceState& d, uint32_t handle);

// A new notification's handle, never one given before; 0 once the store
// has given its last.
uint32_t GiveNotificationHandle(DeviceState& d);

// Whether LocalAlloc of `bytes` finds no memory (the fail-alloc setting:
// no block over 256 bytes).
inline bool ShortOfMemory(const DeviceState& d, uint32_t bytes) {
    return (d.os.store.fails & kFailAlloc) != 0 && bytes > 256;
}

// How many other programs' notifications the store holds.
int NoteCount(const DeviceState& d);
// Adds up to `count` other programs' notifications, due from true time
// `from_ms` on; how many there was room for.
int AddNotes(DeviceState& d, int count, int64_t from_ms);
// What a new device's store holds besides: a dozen, as a handheld in use has.
constexpr int kDefaultNotes = 12;
// The other programs' notifications gone (a cold boot).
void ClearNotes(DeviceState& d);

// Whether the store's handles and notes are ones the store could have made.
bool SaneStore(const DeviceState& d);

// A new device's store as devsim names it ("classic,upper-case"): its
// settings, and whether it starts with no other programs' notifications.
struct StoreSetup {
    StoreSettings settings{kCntTime, 0, 0, 0, 0};
    bool empty = false;
};
std::optional<StoreSetup> ParseStoreSettings(const std::string& text);
extern const char kStoreSettingsHelp[];

}  // namespace sim
