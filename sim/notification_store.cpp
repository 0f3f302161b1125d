#include "notification_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "calendar.h"
#include "device.h"
#include "event_starts.h"
#include "fixers.h"

namespace sim {

namespace {

// Handles of the notification store: not 0, and apart from process handles.
constexpr uint32_t kNotificationBase = 0x00A10000;
constexpr uint32_t kHandleStep = 4;
// The last handle the store gives: past it, it stores nothing more.
constexpr uint32_t kLastNotification = 0xFFFFFF00;

// What another program's notification holds, by its kind; "%u" takes its
// serial number. The texts are long, as a reminder's often are: with its
// sound and arguments such a record is larger than 512 bytes.
struct NoteKind {
    uint32_t type;
    uint32_t event;
    const char* application;  // nullptr: none, as for some event notifications
    const char* arguments;
    const char* title;  // nullptr: nothing shown to the owner
    const char* text;
    const char* sound;
};

const NoteKind kNoteKinds[] = {
    {kCntClassicTime, 0, "\\Windows\\calendar.exe", "-reminder %u", "Calendar",
     "Reminder %u: dentist appointment with Dr. Ames, 14 Harbour Street, second floor. Bring "
     "the insurance card and the letter from the clinic. The appointment takes about an hour "
     "and cannot be moved at short notice; leave twenty minutes early, as the road works on "
     "the bridge close one lane until the end of the month.",
     "\\Windows\\Alarm1.wav"},
    {kCntTime, 0, "\\Windows\\tasks.exe", "-task %u", "Tasks",
     "Task %u is due today: renew the car insurance before the office closes at five, and "
     "send the signed form back with the photocopy of the registration papers, the new "
     "address and the meter reading written on the back of the first page.",
     "\\Windows\\Alarm2.wav"},
    {kCntPeriod, 0, "\\Windows\\clock.exe", "AppRunAtTime %u", "Alarm",
     "Alarm %u: time to get up. Take the tablets with breakfast, water the plants on the "
     "balcony and put the bins out; the collection comes early on the days after a holiday.",
     "\\Windows\\Alarm3.wav"},
    // Another program with one of our programs' file names, elsewhere.
    {kCntTime, 0, "\\Storage Card\\nuv.exe", "AppRunAtTime", nullptr, nullptr, nullptr},
    // Shown when ActiveSync ends: an event, with no program to start.
    {kCntEvent, 1, nullptr, nullptr, "ActiveSync",
     "Synchronization %u finished. Your mail, calendar, contacts and tasks are up to date "
     "with the desktop computer; files copied to the handheld are in My Documents.",
     "\\Windows\\Infbeg.wav"},
};
constexpr uint16_t kNoteKindCount = sizeof kNoteKinds / sizeof kNoteKinds[0];

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string Filled(const char* format, unsigned serial) {
    char text[512];
    std::snprintf(text, sizeof text, format, serial);
    return Wide(text);
}

NotificationRecord LaunchRecord(const DeviceState& d, const Launch& l) {
    NotificationRecord r;
    r.handle = l.handle;
    r.type = d.os.store.run_at_time_type != 0 ? d.os.store.run_at_time_type : kCntTime;
    r.application = Wide(l.path);
    r.arguments = Wide(kRunAtTimeArguments);
    r.start = r.end = l.at;
    return r;
}

NotificationRecord EventRecord(const EventStart& e) {
    NotificationRecord r;
    r.handle = e.handle;
    r.type = kCntEvent;
    r.event = e.event;
    r.application = Wide(e.path);
    const std::optional<EventKind> kind = FindEvent(static_cast<int32_t>(e.event));
    if (kind && kind->command_line != nullptr) {
        r.arguments = Wide(kind->command_line);
    }
    return r;
}

NotificationRecord NoteRecord(const Note& n) {
    const NoteKind& k = kNoteKinds[n.kind];
    NotificationRecord r;
    r.handle = n.handle;
    r.type = k.type;
    r.event = k.event;
    if (k.application != nullptr) {
        r.application = Wide(k.application);
        r.arguments = Filled(k.arguments, n.serial);
    }
    r.start = r.end = n.at;
    if (k.title != nullptr) {
        r.user = UserNote{3, Wide(k.title), Filled(k.text, n.serial), Wide(k.sound), 260};
    }
    return r;
}

SYSTEMTIME ToSystemTime(const DateTime& t) {
    SYSTEMTIME s{};
    s.wYear = static_cast<WORD>(t.year);
    s.wMonth = static_cast<WORD>(t.month);
    s.wDay = static_cast<WORD>(t.day);
    s.wHour = static_cast<WORD>(t.hour);
    s.wMinute = static_cast<WORD>(t.minute);
    return s;
}

}  // namespace

uint32_t GiveNotificationHandle(DeviceState& d) {
    if (d.os.next_notification >= kLastNotification) {
        return 0;
    }
    d.os.next_notification = std::max(d.os.next_notification, kNotificationBase) + kHandleStep;
    return d.os.next_notification;
}

HandleList AnswerHandles(DeviceState& d, uint32_t room) {
    if (room > 0 && (d.os.store.fails & kGrowOnce) != 0) {
        d.os.store.fails = static_cast<uint8_t>(d.os.store.fails & ~kGrowOnce);
        AddNotes(d, 1, d.os.clock_ms);  // stored meanwhile by another program
    }
    return ListNotifications(d, room);
}

HandleList ListNotifications(const DeviceState& d, uint32_t room) {
    HandleList list;
    if ((d.os.store.fails & kFailList) != 0 && room > 0) {
        return list;  // it counts, then will not list
    }
    for (const Launch& l : d.os.launches) {
        if (l.used != 0) {
            list.handles.push_back(l.handle);
        }
    }
    for (const EventStart& e : d.os.event_starts) {
        if (e.handle != 0) {
            list.handles.push_back(e.handle);
        }
    }
    for (const Note& n : d.os.notes) {
        if (n.handle != 0) {
            list.handles.push_back(n.handle);
        }
    }
    std::sort(list.handles.begin(), list.handles.end());  // the order they were made in
    list.needed = static_cast<uint32_t>(list.handles.size());
    list.ok = room >= list.needed && (d.os.store.fails & kFailList) == 0;
    if (!list.ok) {
        list.handles.clear();
    }
    return list;
}

std::optional<NotificationRecord> ReadNotification(const DeviceState& d, uint32_t handle) {
    if ((d.os.store.fails & kFailRead) != 0 || handle == 0) {
        return std::nullopt;
    }
    for (const Launch& l : d.os.launches) {
        if (l.used != 0 && l.handle == handle) {
            return LaunchRecord(d, l);
        }
    }
    for (const EventStart& e : d.os.event_starts) {
        if (e.handle == handle) {
            return EventRecord(e);
        }
    }
    for (const Note& n : d.os.notes) {
        if (n.handle == handle) {
            return NoteRecord(n);
        }
    }
    return std::nullopt;
}

int NoteCount(const DeviceState& d) {
    return static_cast<int>(
        std::count_if(std::begin(d.os.notes), std::end(d.os.notes),
                      [](const Note& n) { return n.handle != 0; }));
}

// Each an hour and a quarter after the last, so that they spread over days.
int AddNotes(DeviceState& d, int count, int64_t from_ms) {
    constexpr int64_t kApart = int64_t{75} * 60 * kMsPerSecond;
    int added = 0;
    const auto serial = static_cast<uint16_t>(NoteCount(d));
    for (Note& n : d.os.notes) {
        if (added == count) {
            break;
        }
        if (n.handle == 0) {
            n.handle = GiveNotificationHandle(d);
            if (n.handle == 0) {
                break;
            }
            n.serial = static_cast<uint16_t>(serial + added + 1);
            n.kind = static_cast<uint16_t>(n.serial % kNoteKindCount);
            n.at = kNoteKinds[n.kind].type == kCntEvent
                       ? SYSTEMTIME{}
                       : ToSystemTime(FromMs(from_ms + kApart * int64_t{added + 1}));
            ++added;
        }
    }
    return added;
}

void ClearNotes(DeviceState& d) {
    for (Note& n : d.os.notes) {
        n = Note{};
    }
}

bool SaneStore(const DeviceState& d) {
    const StoreSettings& s = d.os.store;
    bool sane = s.run_at_time_type >= kCntTime && s.run_at_time_type <= kCntClassicTime &&
                s.upper_case <= 1 && s.fails <= (kFailList | kFailRead | kFailRegister | kFailAlloc | kGrowOnce) &&
                s.lost < (1U << kFixerCount) && s.moved < (1U << kFixerCount);
    sane = sane && d.os.next_notification <= kLastNotification &&
           d.os.next_notification % kHandleStep == 0;
    std::set<uint32_t> handles;
    const auto take = [&](uint32_t h) {
        sane = sane && h > kNotificationBase && h <= d.os.next_notification &&
               h % kHandleStep == 0 &&
               handles.insert(h).second;
    };
    for (const Launch& l : d.os.launches) {
        if (l.used != 0) {
            take(l.handle);
        }
    }
    for (const EventStart& e : d.os.event_starts) {
        if (e.handle != 0) {
            take(e.handle);
        }
    }
    for (const Note& n : d.os.notes) {
        if (n.handle != 0) {
            take(n.handle);
            sane = sane && n.kind < kNoteKindCount &&
                   (kNoteKinds[n.kind].type == kCntEvent || IsValidLaunchTime(n.at));
        }
    }
    return sane;
}

const char kStoreSettingsHelp[] =
    "empty, time, period, classic, upper-case, fail-list, fail-read, fail-register, "
    "fail-alloc, grow-once, lose:PROGRAM or move:PROGRAM, comma-separated";

namespace {

struct StoreWord {
    const char* name;
    uint32_t type;
    uint8_t upper_case;
    uint8_t fails;
};
const StoreWord kStoreWords[] = {
    {"time", kCntTime, 0, 0},          {"period", kCntPeriod, 0, 0},
    {"classic", kCntClassicTime, 0, 0}, {"upper-case", 0, 1, 0},
    {"fail-list", 0, 0, kFailList},     {"fail-read", 0, 0, kFailRead},
    {"fail-register", 0, 0, kFailRegister}, {"fail-alloc", 0, 0, kFailAlloc},
    {"grow-once", 0, 0, kGrowOnce}};

// "lose:nuv28" or "move:nuv28" into the setting's fixer bits.
bool TakeFixerWord(const std::string& word, StoreSettings& s) {
    const size_t colon = word.find(':');
    const std::string verb = word.substr(0, colon);
    const int fixer = colon == std::string::npos ? -1 : FixerIndex(word.substr(colon + 1));
    if (fixer < 0 || (verb != "lose" && verb != "move")) {
        return false;
    }
    uint8_t& bits = verb == "lose" ? s.lost : s.moved;
    bits = static_cast<uint8_t>(bits | 1U << fixer);
    return true;
}

}  // namespace

std::optional<StoreSetup> ParseStoreSettings(const std::string& text) {
    StoreSetup setup;
    StoreSettings& s = setup.settings;
    size_t start = 0;
    for (size_t end = 0; end != std::string::npos; start = end + 1) {
        end = text.find(',', start);
        const std::string word = text.substr(start, end - start);
        if (word == "empty") {
            setup.empty = true;
            continue;
        }
        const auto* w = std::find_if(std::begin(kStoreWords), std::end(kStoreWords),
                                     [&](const StoreWord& k) { return word == k.name; });
        if (w == std::end(kStoreWords)) {
            if (!TakeFixerWord(word, s)) {
                return std::nullopt;
            }
            continue;
        }
        s.run_at_time_type = w->type != 0 ? w->type : s.run_at_time_type;
        s.upper_case = static_cast<uint8_t>(s.upper_case | w->upper_case);
        s.fails = static_cast<uint8_t>(s.fails | w->fails);
    }
    return setup;
}

}  // namespace sim
