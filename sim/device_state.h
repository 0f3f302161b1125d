// The whole simulated device as one plain record, so that it can live in a
// shared file mapping: devsim sets it up, each program process runs against it
// in turn, and what one run leaves (clock, registers, pending launches) is
// what the next one finds.
#pragma once

#include <cstdint>

#include "platform.h"
#include "rtc_model.h"
#include "rtc_regs.h"

// Layout facts of the records the programs share with the platform.
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is eight 16-bit fields");
static_assert(sizeof(RtcRegisters) == 7, "one byte per calendar register");

namespace sim {

constexpr uint32_t kStateMagic = 0x4E555644;  // "NUVD"
constexpr uint32_t kStateVersion = 10;

// The longest a program may run (--limit) or the shell take (--shell-after):
// one day of device time.
constexpr int64_t kMaxRunSeconds = 86400;

constexpr int kMaxLaunches = 8;
constexpr int kMaxRefused = 16;
constexpr int kMaxViolations = 8;
constexpr int kMaxWriteLog = 64;
constexpr int kMaxMidnightLog = 16;
constexpr int kMaxFiles = 8;
// Programs one process may have waiting to start once it ends.
constexpr int kMaxStarts = 16;
constexpr int kMaxHandles = 8;
constexpr int kPathBytes = 96;
constexpr int kViolationBytes = 120;
constexpr int kCaptionBytes = 32;
constexpr int kBoxTextBytes = 640;
// Other programs' notifications the store can hold: far above the few
// hundred a busy handheld's Calendar, Tasks and alarms keep.
constexpr int kMaxNotes = 4096;
// Programs started when a system event occurs (CeRunAppAtEvent), one per
// program and event.
constexpr int kMaxEventStarts = 16;
// The command line a program was started with, UTF-8 with its NUL.
constexpr int kCommandLineBytes = 520;
// Named mutexes open in all processes together; a name is at most MAX_PATH
// UTF-16 units, kept as UTF-8.
constexpr int kMaxMutexes = 8;
constexpr int kMutexNameBytes = 3 * 260;

struct Launch {
    char path[kPathBytes];  // UTF-8, NUL-terminated
    SYSTEMTIME at;
    uint8_t used;
    uint8_t refusal;  // in the run log's refusals: why (Refusal)
    uint32_t handle;  // its handle in the notification store
};

// Why the platform refused a registration.
enum Refusal : uint8_t { kNoSuchTime = 0, kStoreFailed, kTableFull, kPathTooLong, kNoSuchEvent };

// A program the platform starts when a system event occurs, with the
// command line that names the event; a free slot has no handle.
struct EventStart {
    char path[kPathBytes];  // UTF-8, NUL-terminated
    uint32_t event;         // NOTIFICATION_EVENT_*
    uint32_t handle;        // its handle in the notification store
};

// A named mutex (CreateMutexW) and how many handles to it the running
// processes hold; a free slot has none.
struct NamedMutex {
    char name[kMutexNameBytes];
    uint32_t opens;
};
// What a process's handle stands for: a process or thread CreateProcessW
// gave, a named mutex (its slot + 1), or an unnamed one.
enum HandleKind : uint8_t { kProcessHandle = 0, kUnnamedMutex = 0xFF };

// A CeRunAppAtEvent request the platform refused: the event as asked.
struct EventRefusal {
    char path[kPathBytes];
    int32_t event;
    uint8_t refusal;  // Refusal
};

// Another program's notification in the store (a Calendar or Tasks
// reminder, an alarm, a timed or event start): what it holds follows from
// its kind and serial number.
struct Note {
    uint32_t handle;  // 0: the slot is free
    uint16_t kind;
    uint16_t serial;
    SYSTEMTIME at;
};

// How the notification store behaves: the trigger type it keeps a
// CeRunAppAtTime request under (the platform does not document it), whether
// it keeps paths in capitals, which of its services fail, and the fixers
// (bit i: kFixers[i]) whose requests it takes but loses, or keeps a minute
// early: faults to show that a reader does not trust the answer alone.
struct StoreSettings {
    uint32_t run_at_time_type;
    uint8_t upper_case;
    uint8_t fails;  // StoreFail bits
    uint8_t lost;
    uint8_t moved;
};
// kFailList: the store counts its notifications but will not list them;
// kFailAlloc: LocalAlloc finds no block over 256 bytes (a handheld short
// of memory);
// kGrowOnce: another program stores a notification between the first two
// listings that give room, as can happen between a count and a read.
enum StoreFail : uint8_t {
    kFailList = 1,
    kFailRead = 2,
    kFailRegister = 4,
    kFailAlloc = 8,
    kGrowOnce = 16,
};

// A file in the device's object store; a shortcut names the file it starts.
struct File {
    char path[kPathBytes];    // UTF-8, NUL-terminated
    char target[kPathBytes];  // a shortcut's program; empty for any other file
    uint8_t used;
};

struct Violation {
    int64_t at_ms;
    char text[kViolationBytes];
};

// One register operation (an RTCEN bracket) that wrote calendar registers.
struct WriteOp {
    int64_t at_ms;
    RtcRegisters before;
    RtcRegisters after;
    uint8_t mask;  // bit i: byte i of RtcRegisters was written
};

// One midnight step of the RTC's own calendar.
struct MidnightRecord {
    int64_t at_ms;  // the instant of the tick that ran it
    RtcRegisters before;
    RtcRegisters after;
};

// The RTC chip: its registers, prescaler, control register, calendar and faults.
struct ChipState {
    int64_t next_tick_ms;  // when the prescaler next ticks
    RtcRegisters regs;     // brought up to the clock lazily, whenever they are read
    uint8_t rtccon;
    Hw hw;
    uint8_t ignore_writes;
    MidnightFault fault;
    // Changes at given reads, in order of `after_reads`; the next one due.
    uint32_t glitch_count;
    uint32_t next_glitch;
    uint32_t calendar_reads;
    ReadGlitch glitches[kMaxGlitches];
};

// The operating system and the program it runs: the one clock, the
// processor's mode, the launch table, the shell, unattended mode, the limit,
// the files in the object store and the programs asked to start.
struct OsState {
    int64_t start_ms;  // clock value when the device was set up
    int64_t clock_ms;  // true local time, ms since 1970-01-01
    uint8_t kmode;
    uint8_t io_trace;
    uint8_t unattended_on;
    uint8_t stopped_at_limit;
    int64_t shell_ready_ms;  // IsAPIReady(SH_SHELL) answers nonzero from this clock value on
    int64_t limit_ms;        // a Sleep past this clock value stops the program
    // A Sleep past this clock value (when not 0) pauses the program there,
    // its process stopped, while what happens at that time happens; then it
    // sleeps on, or, with end_at_pause, ends as at the limit.
    int64_t pause_ms;
    uint8_t paused;
    uint8_t end_at_pause;
    uint32_t unattended_requests;
    uint32_t unattended_withdrawals;
    // Why the ARM runner or the platform ended the program ("crashed (...)",
    // "spins: ..."); empty otherwise.
    char program_fault[kViolationBytes];
    uint8_t program_attached;  // the program's process reached this device in this run
    uint8_t no_true_time;      // set up from raw registers showing no date: nothing to judge by
    int32_t trace_errno;       // why the program's trace could not be written; 0 if it could
    // How far the time the owner last set in Settings is from the true time:
    // the clock is judged against the true time moved by this much.
    int64_t set_offset_ms;
    Launch launches[kMaxLaunches];
    File files[kMaxFiles];
    // Programs a process asked to start (CreateProcessW), in order: each
    // runs as a process of its own once the one that asked has ended.
    uint32_t start_count;
    char starts[kMaxStarts][kPathBytes];
    char start_lines[kMaxStarts][kCommandLineBytes];  // the command line each is given
    // The handles the running process was given (CreateProcessW), 0 where
    // none; the process's own, gone when it ends.
    uint32_t handles[kMaxHandles];
    uint8_t handle_kinds[kMaxHandles];  // HandleKind, or a named mutex's slot + 1
    uint32_t last_error;                // GetLastError: what CreateMutexW last said
    uint32_t next_handle;
    // The installer's record of the installed package: which of its files
    // (bit i: file i of the package) it placed, for Remove Programs.
    uint8_t installed;
    uint32_t installed_files;
    // What the setup library's function returned, all 32 bits; set by the
    // runner that called it.
    uint8_t setup_returned;
    uint32_t setup_result;
    // The notification store beside the launches: the handle it gives next
    // (handles are never given twice), its settings, other programs' notes.
    uint32_t next_notification;
    StoreSettings store;
    Note notes[kMaxNotes];
    EventStart event_starts[kMaxEventStarts];
    NamedMutex mutexes[kMaxMutexes];
    // The running program's command line: "AppRunAtTime" for a timed
    // launch, the event's for an event start, empty when tapped.
    char command_line[kCommandLineBytes];
};

// What happened in a run, for devsim to read: refusals, violations, writes
// and midnight steps.
struct RunLog {
    uint32_t refused_count;
    Launch refused[kMaxRefused];
    uint32_t event_refused_count;
    EventRefusal event_refused[kMaxRefused];

    uint32_t violation_count;
    Violation violations[kMaxViolations];

    // Calendar writes, counted per operation; the log keeps the first ones.
    uint32_t write_ops;
    uint32_t write_log_count;
    WriteOp write_log[kMaxWriteLog];
    uint8_t op_mask;  // calendar registers written inside the open RTCEN bracket
    uint8_t rtcen_by_run;  // this run's process set RTCEN and has not cleared it
    RtcRegisters op_before;

    // The message box the run showed (MessageBoxW), UTF-8; the first if several.
    uint8_t box_shown;
    uint8_t box_hidden;  // opened behind the foreground window
    uint32_t box_style;
    // CreateProcessW calls refused because kMaxStarts programs were waiting,
    // and because the command line was longer than the device keeps.
    uint32_t starts_refused;
    uint32_t long_command_lines;
    char box_caption[kCaptionBytes];
    char box_text[kBoxTextBytes];

    // Midnight steps since the log was last emptied; the count goes on past the log.
    uint32_t midnight_count;
    MidnightRecord midnight_log[kMaxMidnightLog];
};

struct DeviceState {
    uint32_t magic;
    uint32_t version;
    uint32_t size;
    ChipState chip;
    OsState os;
    RunLog log;
};

}  // namespace sim
