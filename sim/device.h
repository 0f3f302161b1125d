// Behaviour of the simulated device: register bus, prescaler, processor mode
// and the OS services, all over one DeviceState.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calendar.h"
#include "device_state.h"
#include "notification_store.h"

namespace sim {

struct DeviceConfig {
    DateTime at;                // true local time at start
    bool regs_given = false;    // set the registers raw instead of from `at`
    RtcRegisters regs{};
    Hw hw = Hw::Chip;
    bool ignore_writes = false;
    MidnightFault fault;
    std::vector<ReadGlitch> glitches;  // at most kMaxGlitches, in order of after_reads
    int64_t shell_after_s = 0;
    int64_t limit_s = 3600;
    bool io_trace = false;
    uint8_t rtccon = 0x00;
    StoreSettings store{kCntTime, 0, 0, 0, 0};
    int notes = kDefaultNotes;  // other programs' notifications held at start
};

void InitDevice(DeviceState& d, const DeviceConfig& config);

// The registers of a correctly set RTC at true time `t` (year 1950 to 2205).
RtcRegisters RegistersFor(const DateTime& t);

// The calendar time the registers show, when they show a valid one.
std::optional<DateTime> RegistersTime(const RtcRegisters& r);
// How far off the registers are from true time `true_ms`: empty when they
// show no valid date; right within ten minutes (the fixers' own writes move
// the clock by up to a second, by design).
std::optional<int64_t> RegistersDriftMs(const RtcRegisters& r, int64_t true_ms);
constexpr int64_t kRightWithinMs = 600 * kMsPerSecond;
bool IsRightAt(const RtcRegisters& r, int64_t true_ms);

// What the processor and the program did, in order: register accesses and
// mode changes, and the two services whose order matters to the run
// sequence (an unattended-mode notification, a registration).
struct IoEvent {
    enum class Kind : uint8_t {
        Read,
        Write,
        KmodeOn,
        KmodeOff,
        Unattended,
        Registration,
        Withdrawal
    };
    Kind kind;
    uint32_t offset;
    uint8_t value;  // the byte; Unattended: 1 requested, 0 withdrawn; Registration: 1 taken
    std::string detail;  // Registration: "PATH YYYY-MM-DD HH:MM:SS"; Withdrawal: "PATH"
};
using IoObserver = std::function<void(const IoEvent&)>;

// "read BCDYEAR 3a", "kmode on" and the like, without the time or a line end.
std::string FormatIo(const IoEvent& e);
// A device clock value as the io log shows it: "23:59:59.900".
std::string FormatClock(int64_t ms);
// Conventional name of the register at `offset`, or nullptr outside the map.
const char* RegisterName(uint32_t offset);

// Readies a device for the next program: what an earlier process left (its
// kernel mode, an open register operation) ended, the limit and the shell
// counted from now, and the bookkeeping of one run (violations, refusals,
// logs, counts) empty.
void BeginRun(DeviceState& d, int64_t limit_s, int64_t shell_after_s, bool io_trace);
// Ends the run at `until_ms` at the latest: a Sleep past it stops the program.
void CapRun(DeviceState& d, int64_t until_ms);

// What belongs to the running process rather than to the device: its mode,
// limits, handles, starts, results and run log. Kept aside while another
// process runs (devsim runs one while a program is paused), then put back.
struct ProcessContext {
    uint8_t kmode;
    uint8_t io_trace;
    uint8_t unattended_on;
    uint8_t stopped_at_limit;
    uint8_t program_attached;
    uint8_t setup_returned;
    int64_t shell_ready_ms;
    int64_t limit_ms;
    uint32_t unattended_requests;
    uint32_t unattended_withdrawals;
    int32_t trace_errno;
    uint32_t setup_result;
    uint32_t start_count;
    char program_fault[kViolationBytes];
    char starts[kMaxStarts][kPathBytes];
    char start_lines[kMaxStarts][kCommandLineBytes];
    uint32_t handles[kMaxHandles];
    uint8_t handle_kinds[kMaxHandles];
    uint32_t last_error;
    char command_line[kCommandLineBytes];
    RunLog log;
};
ProcessContext SaveProcess(const DeviceState& d);
// The running process's state saved, and its handle table emptied while
// it is paused: what runs meanwhile neither sees nor ends its handles.
ProcessContext PutProcessAside(DeviceState& d);
void RestoreProcess(DeviceState& d, const ProcessContext& c);
// What ends with a program's process, however it ended: its kernel mode and
// any register operation it left open. The RTC keeps what it holds.
void EndProcess(DeviceState& d);

// A breach of the platform's rules by the running process, recorded with
// the register access violations.
void RecordViolation(DeviceState& d, const std::string& text);

// Applies every prescaler tick due up to the clock.
void CatchUp(DeviceState& d);

// Time passes on the device, no program running, up to `to_ms` (never back).
void PassTime(DeviceState& d, int64_t to_ms);
// Empties the run log (write operations and midnight steps) once it is read.
void ClearRunLog(DeviceState& d);
// Forgets the registrations an earlier run had refused.
void ClearRefused(DeviceState& d);
// The pending launch due first, or nullptr; TakeLaunch removes it as the
// platform does when it starts the program.
const Launch* EarliestLaunch(const DeviceState& d);
void TakeLaunch(DeviceState& d, const Launch* launch);
// <0, 0 or >0 as local time `a` is before, at or after `b`.
int CompareTimes(const SYSTEMTIME& a, const SYSTEMTIME& b);

uint8_t DeviceRead(DeviceState& d, uintptr_t address, const IoObserver& io);
void DeviceWrite(DeviceState& d, uintptr_t address, uint8_t value, const IoObserver& io);
int DeviceSetKMode(DeviceState& d, int mode, const IoObserver& io);

// Moves the clock; false (and the clock unmoved) when that would pass the limit.
bool DeviceSleep(DeviceState& d, uint32_t ms);
// Moves the clock on to `target_ms`: done; or stopped at the limit (the
// clock unmoved); or paused at the pause time, the clock there, when the
// target lies past it (the rest of the sleep is the program's to sleep on).
enum class Slept { Done, Limit, Pause };
Slept DeviceSleepUntil(DeviceState& d, int64_t target_ms);
// What a paused program does when it goes on: nothing more to wait for
// (false: it ends, as at the limit), or the rest of its sleep.
bool ResumeAfterPause(DeviceState& d);
SYSTEMTIME DeviceLocalTime(DeviceState& d);
bool DeviceRunAppAtTime(DeviceState& d, const std::string& path, const SYSTEMTIME& at,
                        const IoObserver& io = {});
// CeRunAppAtTime(path, NULL): the pending launch of `path` deleted; false
// when there was none.
bool DeviceWithdrawLaunch(DeviceState& d, const std::string& path, const IoObserver& io = {});
bool DeviceApiReady(const DeviceState& d, uint32_t api);
void DevicePowerNotify(DeviceState& d, uint32_t message, uint32_t data,
                       const IoObserver& io = {});

// The pending launch for `path`, or nullptr.
const Launch* FindLaunch(const DeviceState& d, const std::string& path);
DateTime FromSystemTime(const SYSTEMTIME& t);
bool IsValidLaunchTime(const SYSTEMTIME& t);
std::string FormatLaunchTime(const SYSTEMTIME& t);

}  // namespace sim
