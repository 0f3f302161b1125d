#include "device.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <iterator>

#include "fixers.h"
#include "named_objects.h"
#include "registers.h"
#include "text.h"

namespace sim {

namespace {

constexpr uint32_t kBlockSpan = 0x100;

bool IsCalendar(uint32_t offset) { return CalendarIndex(offset) >= 0; }

// Byte of RtcRegisters that a calendar register fills.
uint8_t& Field(RtcRegisters& r, uint32_t offset) {
    return r.*kCalendarRegisters[CalendarIndex(offset)].field;
}

void Violate(DeviceState& d, const std::string& text) {
    if (d.log.violation_count < kMaxViolations) {
        Violation& v = d.log.violations[d.log.violation_count];
        v.at_ms = d.os.clock_ms;
        std::snprintf(v.text, sizeof v.text, "%s", text.c_str());
    }
    ++d.log.violation_count;
}

std::string Hex(uintptr_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

// Checks an access; returns the register offset or -1 outside the map.
int64_t CheckAccess(DeviceState& d, uintptr_t address, const char* verb) {
    if (address < RTC_PHYS_BASE || address >= RTC_PHYS_BASE + kBlockSpan ||
        RegisterName(static_cast<uint32_t>(address - RTC_PHYS_BASE)) == nullptr) {
        Violate(d, std::string(verb) + " of unmapped address " + Hex(address));
        return -1;
    }
    const auto offset = static_cast<uint32_t>(address - RTC_PHYS_BASE);
    const std::string name = RegisterName(offset);
    if (d.os.kmode == 0) {
        Violate(d, std::string(verb) + " of " + name + " outside kernel mode");
    }
    if (IsCalendar(offset) && (d.chip.rtccon & RTCEN) == 0) {
        Violate(d, std::string(verb) + " of " + name + " while RTCEN is clear");
    }
    return offset;
}

// Ends the register operation opened by the first calendar write.
void CloseOp(DeviceState& d) {
    if (d.log.op_mask == 0) {
        return;
    }
    if (d.log.write_log_count < kMaxWriteLog) {
        WriteOp& op = d.log.write_log[d.log.write_log_count++];
        op.at_ms = d.os.clock_ms;
        op.before = d.log.op_before;
        op.after = d.chip.regs;
        op.mask = d.log.op_mask;
    }
    ++d.log.write_ops;
    d.log.op_mask = 0;
}

// A failing chip's registers change by themselves at given reads.
void CountCalendarRead(DeviceState& d) {
    ++d.chip.calendar_reads;
    while (d.chip.next_glitch < d.chip.glitch_count &&
           d.chip.glitches[d.chip.next_glitch].after_reads <= d.chip.calendar_reads) {
        const ReadGlitch& g = d.chip.glitches[d.chip.next_glitch++];
        if (g.field == kGlitchDroppedWrites) {
            d.chip.ignore_writes ^= 1;
        } else {
            d.chip.regs.*kCalendarRegisters[g.field].field = g.value;
        }
    }
}

void Observe(const IoObserver& io, IoEvent::Kind kind, uint32_t offset, uint8_t value,
             std::string detail = {}) {
    if (io) {
        io(IoEvent{kind, offset, value, std::move(detail)});
    }
}

}  // namespace

RtcRegisters RegistersFor(const DateTime& t) {
    RtcRegisters r{};
    r.year = static_cast<uint8_t>(t.year - YEAR_BASE);
    r.month = ToBcd(t.month);
    r.day = static_cast<uint8_t>(DayOfWeek(DaysFromCivil(t.year, t.month, t.day)) + 1);
    r.date = ToBcd(t.day);
    r.hour = ToBcd(t.hour);
    r.min = ToBcd(t.minute);
    r.sec = ToBcd(t.second);
    return r;
}

std::optional<DateTime> RegistersTime(const RtcRegisters& r) {
    if (!IsBcd(r.month) || !IsBcd(r.date) || !IsBcd(r.hour) || !IsBcd(r.min) || !IsBcd(r.sec)) {
        return std::nullopt;
    }
    DateTime t;
    t.year = YEAR_BASE + r.year;
    t.month = BcdValue(r.month);
    t.day = BcdValue(r.date);
    t.hour = BcdValue(r.hour);
    t.minute = BcdValue(r.min);
    t.second = BcdValue(r.sec);
    if (!IsValid(t)) {
        return std::nullopt;
    }
    return t;
}

std::optional<int64_t> RegistersDriftMs(const RtcRegisters& r, int64_t true_ms) {
    const std::optional<DateTime> t = RegistersTime(r);
    return t ? std::optional<int64_t>(ToMs(*t) - true_ms) : std::nullopt;
}

bool IsRightAt(const RtcRegisters& r, int64_t true_ms) {
    const std::optional<int64_t> drift = RegistersDriftMs(r, true_ms);
    return drift && std::llabs(*drift) <= kRightWithinMs;
}

void InitDevice(DeviceState& d, const DeviceConfig& config) {
    d = DeviceState{};
    d.magic = kStateMagic;
    d.version = kStateVersion;
    d.size = sizeof d;
    // Raw registers that show a date are the true time; others leave none.
    const std::optional<DateTime> shown =
        config.regs_given ? RegistersTime(config.regs) : std::optional<DateTime>(config.at);
    d.os.start_ms = d.os.clock_ms = ToMs(shown ? *shown : config.at);
    d.os.no_true_time = shown ? 0 : 1;
    if (config.regs_given) {
        d.chip.regs = config.regs;
        d.chip.next_tick_ms = d.os.clock_ms + kMsPerSecond;
    } else {
        d.chip.regs = RegistersFor(config.at);
        d.chip.next_tick_ms = d.os.clock_ms - config.at.ms + kMsPerSecond;
    }
    d.chip.rtccon = config.rtccon;
    d.chip.hw = config.hw;
    d.chip.ignore_writes = config.ignore_writes ? 1 : 0;
    d.chip.fault = config.fault;
    for (const ReadGlitch& g : config.glitches) {
        if (d.chip.glitch_count < kMaxGlitches) {
            d.chip.glitches[d.chip.glitch_count++] = g;
        }
    }
    d.os.io_trace = config.io_trace ? 1 : 0;
    d.os.shell_ready_ms = d.os.start_ms + config.shell_after_s * kMsPerSecond;
    d.os.limit_ms = d.os.start_ms + config.limit_s * kMsPerSecond;
    d.os.store = config.store;
    AddNotes(d, config.notes, d.os.clock_ms);
}

void BeginRun(DeviceState& d, int64_t limit_s, int64_t shell_after_s, bool io_trace) {
    EndProcess(d);  // whatever a process started by hand left behind is not this run's
    d.os.limit_ms = d.os.clock_ms + limit_s * kMsPerSecond;
    d.os.shell_ready_ms = d.os.clock_ms + shell_after_s * kMsPerSecond;
    d.os.io_trace = io_trace ? 1 : 0;
    d.os.stopped_at_limit = 0;
    d.os.pause_ms = 0;
    d.os.paused = d.os.end_at_pause = 0;
    d.os.program_fault[0] = '\0';
    d.os.program_attached = 0;
    d.os.trace_errno = 0;
    d.os.start_count = 0;  // starts a process asked for are taken when it ends
    d.os.setup_returned = 0;
    d.os.command_line[0] = '\0';
    d.log.rtcen_by_run = 0;
    d.log.box_shown = 0;
    d.log.box_hidden = 0;
    d.log.box_style = 0;
    d.log.starts_refused = d.log.long_command_lines = 0;
    d.os.unattended_requests = d.os.unattended_withdrawals = 0;
    d.log.refused_count = d.log.event_refused_count = 0;
    d.log.violation_count = 0;
    d.log.write_ops = d.log.write_log_count = d.log.midnight_count = 0;
}

void RecordViolation(DeviceState& d, const std::string& text) { Violate(d, text); }

void ClearRefused(DeviceState& d) { d.log.refused_count = d.log.event_refused_count = 0; }

void CapRun(DeviceState& d, int64_t until_ms) { d.os.limit_ms = std::min(d.os.limit_ms, until_ms); }

namespace {

// Each field of the running process's in the OS state, paired with its
// place in a context: `visit(os_field, context_field)`.
template <typename Os, typename Context, typename Visit>
void PairProcessFields(Os& o, Context& c, Visit visit) {
    visit(o.kmode, c.kmode);
    visit(o.io_trace, c.io_trace);
    visit(o.unattended_on, c.unattended_on);
    visit(o.stopped_at_limit, c.stopped_at_limit);
    visit(o.program_attached, c.program_attached);
    visit(o.setup_returned, c.setup_returned);
    visit(o.shell_ready_ms, c.shell_ready_ms);
    visit(o.limit_ms, c.limit_ms);
    visit(o.unattended_requests, c.unattended_requests);
    visit(o.unattended_withdrawals, c.unattended_withdrawals);
    visit(o.trace_errno, c.trace_errno);
    visit(o.setup_result, c.setup_result);
    visit(o.start_count, c.start_count);
    visit(o.program_fault, c.program_fault);
    visit(o.starts, c.starts);
    visit(o.start_lines, c.start_lines);
    visit(o.handles, c.handles);
    visit(o.handle_kinds, c.handle_kinds);
    visit(o.last_error, c.last_error);
    visit(o.command_line, c.command_line);
}

}  // namespace

ProcessContext SaveProcess(const DeviceState& d) {
    ProcessContext c{};
    PairProcessFields(d.os, c, [](const auto& os, auto& kept) { std::memcpy(&kept, &os, sizeof kept); });
    c.log = d.log;
    return c;
}

ProcessContext PutProcessAside(DeviceState& d) {
    const ProcessContext c = SaveProcess(d);
    for (size_t i = 0; i < kMaxHandles; ++i) {  // still open: the paused process holds them
        d.os.handles[i] = 0;
        d.os.handle_kinds[i] = kProcessHandle;
    }
    return c;
}

void RestoreProcess(DeviceState& d, const ProcessContext& c) {
    PairProcessFields(d.os, c, [](auto& os, const auto& kept) { std::memcpy(&os, &kept, sizeof os); });
    d.log = c.log;
}

void EndProcess(DeviceState& d) {
    CloseOp(d);
    d.os.kmode = 0;
    for (size_t i = 0; i < kMaxHandles; ++i) {
        if (d.os.handles[i] != 0) {
            DropHandle(d, i);  // the process's handles end with it
        }
    }
    d.os.last_error = 0;
}

std::string FormatClock(int64_t ms) {
    const DateTime t = FromMs(ms);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.ms);
    return buf;
}

const char* RegisterName(uint32_t offset) {
    if (offset == RTCCON) {
        return "RTCCON";
    }
    const int i = CalendarIndex(offset);
    return i >= 0 ? kCalendarRegisters[i].name : nullptr;
}

std::string FormatIo(const IoEvent& e) {
    char buf[64];
    switch (e.kind) {
        case IoEvent::Kind::KmodeOn: return "kmode on";
        case IoEvent::Kind::KmodeOff: return "kmode off";
        case IoEvent::Kind::Unattended:
            return e.value != 0 ? "unattended mode requested" : "unattended mode withdrawn";
        case IoEvent::Kind::Registration:
            return "register " + Escaped(e.detail) + (e.value != 0 ? "" : " (refused)");
        case IoEvent::Kind::Withdrawal:
            return "withdraw " + Escaped(e.detail) + (e.value != 0 ? "" : " (none pending)");
        case IoEvent::Kind::Read:
        case IoEvent::Kind::Write: {
            const char* name = RegisterName(e.offset);
            std::snprintf(buf, sizeof buf, "%s %s %02x",
                          e.kind == IoEvent::Kind::Read ? "read" : "write",
                          name != nullptr ? name : "?", e.value);
            return buf;
        }
    }
    return {};
}

void CatchUp(DeviceState& d) {
    if (d.os.clock_ms < d.chip.next_tick_ms) {
        return;
    }
    const int64_t ticks = (d.os.clock_ms - d.chip.next_tick_ms) / kMsPerSecond + 1;
    const int64_t first_tick_ms = d.chip.next_tick_ms;
    AdvanceTicks(d.chip.regs, d.chip.hw, ticks, &d.chip.fault,
                 [&d, first_tick_ms](int64_t tick, const RtcRegisters& before,
                                     const RtcRegisters& after) {
                     if (d.log.midnight_count < kMaxMidnightLog) {
                         d.log.midnight_log[d.log.midnight_count] = {
                             first_tick_ms + (tick - 1) * kMsPerSecond, before, after};
                     }
                     ++d.log.midnight_count;
                 });
    d.chip.next_tick_ms += ticks * kMsPerSecond;
}

void PassTime(DeviceState& d, int64_t to_ms) {
    d.os.clock_ms = std::max(d.os.clock_ms, to_ms);
    CatchUp(d);
}

void ClearRunLog(DeviceState& d) {
    d.log.write_ops = d.log.write_log_count = d.log.midnight_count = 0;
}

int CompareTimes(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    const WORD x[] = {a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond, a.wMilliseconds};
    const WORD y[] = {b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond, b.wMilliseconds};
    for (size_t i = 0; i < std::size(x); ++i) {
        if (x[i] != y[i]) {
            return x[i] < y[i] ? -1 : 1;
        }
    }
    return 0;
}

const Launch* EarliestLaunch(const DeviceState& d) {
    const Launch* first = nullptr;
    for (const Launch& l : d.os.launches) {
        if (l.used != 0 && (first == nullptr || CompareTimes(l.at, first->at) < 0)) {
            first = &l;
        }
    }
    return first;
}

void TakeLaunch(DeviceState& d, const Launch* launch) {
    d.os.launches[launch - d.os.launches].used = 0;
}

uint8_t DeviceRead(DeviceState& d, uintptr_t address, const IoObserver& io) {
    const int64_t offset = CheckAccess(d, address, "read");
    if (offset < 0) {
        return 0;
    }
    uint8_t value = d.chip.rtccon;
    if (offset != RTCCON) {
        CatchUp(d);
        value = Field(d.chip.regs, static_cast<uint32_t>(offset));
    }
    Observe(io, IoEvent::Kind::Read, static_cast<uint32_t>(offset), value);
    if (offset != RTCCON) {
        CountCalendarRead(d);
    }
    return value;
}

void DeviceWrite(DeviceState& d, uintptr_t address, uint8_t value, const IoObserver& io) {
    const int64_t checked = CheckAccess(d, address, "write");
    if (checked < 0) {
        return;
    }
    const auto offset = static_cast<uint32_t>(checked);
    Observe(io, IoEvent::Kind::Write, offset, value);
    if (offset == RTCCON) {
        const bool closing = (d.chip.rtccon & RTCEN) != 0 && (value & RTCEN) == 0;
        d.chip.rtccon = value;
        d.log.rtcen_by_run = (value & RTCEN) != 0 ? 1 : 0;
        if (closing) {
            CloseOp(d);
        }
        return;
    }
    CatchUp(d);
    if (d.log.op_mask == 0) {
        d.log.op_before = d.chip.regs;
    }
    d.log.op_mask = static_cast<uint8_t>(d.log.op_mask | (1U << CalendarIndex(offset)));
    // The chip drops calendar writes while RTCEN is clear, and a faulty one drops them all.
    if ((d.chip.rtccon & RTCEN) == 0 || d.chip.ignore_writes != 0) {
        return;
    }
    Field(d.chip.regs, offset) = value;
    if (offset == BCDSEC) {
        d.chip.next_tick_ms = d.os.clock_ms + kMsPerSecond;
    }
}

int DeviceSetKMode(DeviceState& d, int mode, const IoObserver& io) {
    const int prev = d.os.kmode;
    d.os.kmode = mode != 0 ? 1 : 0;
    Observe(io, d.os.kmode != 0 ? IoEvent::Kind::KmodeOn : IoEvent::Kind::KmodeOff, 0, 0);
    if (d.os.kmode == 0) {
        CloseOp(d);
    }
    return prev;
}

bool DeviceSleep(DeviceState& d, uint32_t ms) {
    if (d.os.clock_ms + ms > d.os.limit_ms) {
        d.os.stopped_at_limit = 1;
        return false;
    }
    d.os.clock_ms += ms;
    return true;
}

Slept DeviceSleepUntil(DeviceState& d, int64_t target_ms) {
    const int64_t pause = d.os.pause_ms;
    if (pause != 0 && target_ms > pause && pause < d.os.limit_ms && d.os.clock_ms <= pause) {
        d.os.clock_ms = pause;
        d.os.paused = 1;
        return Slept::Pause;
    }
    if (target_ms > d.os.limit_ms) {
        d.os.stopped_at_limit = 1;
        return Slept::Limit;
    }
    d.os.clock_ms = std::max(d.os.clock_ms, target_ms);  // what happened meanwhile may have moved it on
    return Slept::Done;
}

bool ResumeAfterPause(DeviceState& d) {
    d.os.paused = 0;
    if (d.os.end_at_pause != 0) {
        d.os.end_at_pause = 0;
        d.os.stopped_at_limit = 1;
        d.os.limit_ms = d.os.clock_ms;  // ended where it was paused
        return false;
    }
    return true;
}

SYSTEMTIME DeviceLocalTime(DeviceState& d) {
    CatchUp(d);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(d.chip.regs.year + YEAR_BASE);
    t.wMonth = static_cast<WORD>(BcdValue(d.chip.regs.month));
    t.wDayOfWeek = static_cast<WORD>((d.chip.regs.day + 6) % 7);
    t.wDay = static_cast<WORD>(BcdValue(d.chip.regs.date));
    t.wHour = static_cast<WORD>(BcdValue(d.chip.regs.hour));
    t.wMinute = static_cast<WORD>(BcdValue(d.chip.regs.min));
    t.wSecond = static_cast<WORD>(BcdValue(d.chip.regs.sec));
    t.wMilliseconds = static_cast<WORD>(d.os.clock_ms - (d.chip.next_tick_ms - kMsPerSecond));
    return t;
}

DateTime FromSystemTime(const SYSTEMTIME& t) {
    DateTime dt;
    dt.year = t.wYear;
    dt.month = t.wMonth;
    dt.day = t.wDay;
    dt.hour = t.wHour;
    dt.minute = t.wMinute;
    dt.second = t.wSecond;
    dt.ms = t.wMilliseconds;
    return dt;
}

bool IsValidLaunchTime(const SYSTEMTIME& t) { return IsValid(FromSystemTime(t)); }

std::string FormatLaunchTime(const SYSTEMTIME& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear},
                  unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond});
    return buf;
}

const Launch* FindLaunch(const DeviceState& d, const std::string& path) {
    for (const Launch& l : d.os.launches) {
        if (l.used != 0 && strcasecmp(path.c_str(), l.path) == 0) {  // as the platform compares paths
            return &l;
        }
    }
    return nullptr;
}

namespace {

// Index in kFixers of the program at `path`, or -1.
int FixerAt(const std::string& path) {
    for (int i = 0; i < kFixerCount; ++i) {
        if (strcasecmp(kFixers[i].path, path.c_str()) == 0) {
            return i;
        }
    }
    return -1;
}

void Refuse(DeviceState& d, const std::string& path, const SYSTEMTIME& at, Refusal why) {
    if (d.log.refused_count < kMaxRefused) {
        Launch& r = d.log.refused[d.log.refused_count];
        std::snprintf(r.path, sizeof r.path, "%s", path.c_str());
        r.at = at;
        r.used = 1;
        r.refusal = why;
    }
    ++d.log.refused_count;
}

// Why the platform would refuse `path` at `at` into `slot`; nothing when it takes it.
std::optional<Refusal> Refusing(const DeviceState& d, const std::string& path,
                                const SYSTEMTIME& at, const Launch* slot) {
    if (!IsValidLaunchTime(at)) {
        return kNoSuchTime;
    }
    if ((d.os.store.fails & kFailRegister) != 0) {
        return kStoreFailed;
    }
    if (path.size() >= sizeof slot->path) {
        return kPathTooLong;
    }
    return slot == nullptr ? std::optional(kTableFull) : std::nullopt;
}

// The request kept in `slot` (the path's earlier one, or a free one) as
// the store is set to keep it: as asked, in capitals, a minute early, or lost.
bool Keep(DeviceState& d, Launch& slot, const std::string& path, const SYSTEMTIME& at) {
    slot.used = 0;  // a new request: the old one is gone
    const int fixer = FixerAt(path);
    if (fixer >= 0 && (d.os.store.lost >> fixer & 1U) != 0) {
        return true;  // taken, and lost
    }
    slot.handle = GiveNotificationHandle(d);
    if (slot.handle == 0) {
        Refuse(d, path, at, kStoreFailed);
        return false;
    }
    std::string kept = path;
    if (d.os.store.upper_case != 0) {
        std::transform(kept.begin(), kept.end(), kept.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    }
    std::snprintf(slot.path, sizeof slot.path, "%s", kept.c_str());
    slot.at = at;
    if (fixer >= 0 && (d.os.store.moved >> fixer & 1U) != 0 && slot.at.wMinute > 0) {
        --slot.at.wMinute;
    }
    slot.used = 1;
    return true;
}

bool RegisterLaunch(DeviceState& d, const std::string& path, const SYSTEMTIME& at) {
    Launch* slot = const_cast<Launch*>(FindLaunch(d, path));
    for (Launch& l : d.os.launches) {
        slot = slot == nullptr && l.used == 0 ? &l : slot;
    }
    if (const std::optional<Refusal> why = Refusing(d, path, at, slot)) {
        Refuse(d, path, at, *why);
        return false;
    }
    return Keep(d, *slot, path, at);
}

}  // namespace

bool DeviceRunAppAtTime(DeviceState& d, const std::string& path, const SYSTEMTIME& at,
                        const IoObserver& io) {
    const bool taken = RegisterLaunch(d, path, at);
    Observe(io, IoEvent::Kind::Registration, 0, taken ? 1 : 0, path + " " + FormatLaunchTime(at));
    return taken;
}

bool DeviceWithdrawLaunch(DeviceState& d, const std::string& path, const IoObserver& io) {
    const Launch* pending = FindLaunch(d, path);
    Observe(io, IoEvent::Kind::Withdrawal, 0, pending != nullptr ? 1 : 0, path);
    if (pending == nullptr) {
        return false;
    }
    TakeLaunch(d, pending);
    return true;
}

bool DeviceApiReady(const DeviceState& d, uint32_t api) {
    return api == SH_SHELL && d.os.clock_ms >= d.os.shell_ready_ms;
}

void DevicePowerNotify(DeviceState& d, uint32_t message, uint32_t data, const IoObserver& io) {
    if (message != PPN_UNATTENDEDMODE) {
        return;
    }
    Observe(io, IoEvent::Kind::Unattended, 0, data != 0 ? 1 : 0);
    if (data != 0) {
        ++d.os.unattended_requests;
        d.os.unattended_on = 1;
    } else {
        ++d.os.unattended_withdrawals;
        d.os.unattended_on = 0;
    }
}

}  // namespace sim
