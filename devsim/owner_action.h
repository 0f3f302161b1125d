// What the owner does to the handheld, as devsim owner takes it on its
// command line and devsim years --events from a file: one action a line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calendar.h"
#include "result.h"

namespace devsim {

struct OwnerAction {
    enum class Kind {
        Install,      // tap the cabinet: files, shortcut, setup library
        Uninstall,    // Settings, Remove Programs
        Copy,         // the manual route: the programs' files copied to \Windows
        Start,        // tap a program or a shortcut (PATH)
        SetClock,     // Settings, Clock: to TIME, or to the true time
        Wait,         // let time pass to TIME, or by a duration
        SoftReset,
        HardReset,
        FlatBattery,
        Delete,       // File Explorer deletes PATH
        Reminders,    // other programs store COUNT notifications
        TimeZone,     // Settings, Clock: another time zone, the clock moved by wait_ms
    };
    Kind kind;
    std::string path;                   // Start, Delete
    std::optional<sim::DateTime> time;  // SetClock (none: the true time), Wait
    int64_t wait_ms = 0;                // Wait by a duration; TimeZone: the shift
    bool rtc_kept = false;              // HardReset, FlatBattery: the chip kept time
    int count = 0;                      // Reminders
    std::string text;                   // as written
};

// One action: "install", "start \Windows\nuv.exe", "set-clock 2008-12-31
// 23:58", "wait +3min", "hard-reset rtc-kept" and so on; the error names
// the problem.
sim::Result<OwnerAction> ParseOwnerAction(const std::string& text);

// An action at a true local time, a line of an event list:
// "2009-12-10 12:00 hard-reset".
struct OwnerEvent {
    sim::DateTime at;
    OwnerAction action;
};

// The event list in `text`, in time order; blank lines and comments (from
// a "#" at the start or after a blank to the line's end) skipped; errors
// name the line.
sim::Result<std::vector<OwnerEvent>> ParseEvents(const std::string& text);

// The actions' grammar for --help and errors.
extern const char kOwnerActionsHelp[];

}  // namespace devsim
