#include "account.h"

#include <strings.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include "calendar.h"
#include "device.h"
#include "event_starts.h"
#include "owner_device.h"
#include "registers.h"
#include "state_file.h"
#include "text.h"

namespace devsim {

std::string Hex2(uint8_t b) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", b);
    return buf;
}

std::string YearText(uint8_t year) {
    return Hex2(year) + " (" + std::to_string(YEAR_BASE + year) + ")";
}

std::string RegsText(const RtcRegisters& r) {
    std::string text;
    for (const sim::CalendarRegister& reg : sim::kCalendarRegisters) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", r.*reg.field);
        text += (text.empty() ? "" : " ") + std::string(byte);
    }
    return text;
}

std::string Duration(int64_t ms) {
    const int64_t a = ms < 0 ? -ms : ms;
    const auto n = [](int64_t v, const char* unit) { return std::to_string(v) + " " + unit; };
    const auto and_then = [](const std::string& s, int64_t v, const char* unit) {
        return v == 0 ? s : s + " " + std::to_string(v) + " " + unit;
    };
    if (a < 1000) {
        return n(a, "ms");
    }
    if (a < 60 * sim::kMsPerSecond && a % sim::kMsPerSecond != 0) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(a) / 1000.0);
        return buf;
    }
    const int64_t s = a / 1000;
    if (s < 60) {
        return n(s, "s");
    }
    if (s < 3600) {
        return and_then(n(s / 60, "min"), s % 60, "s");
    }
    if (s < 86400) {
        return and_then(n(s / 3600, "h"), s / 60 % 60, "min");
    }
    return s / 86400 < 100 ? and_then(n(s / 86400, "d"), s / 3600 % 24, "h") : n(s / 86400, "d");
}

bool ClockRight(const sim::DeviceState& d) {
    return d.os.no_true_time == 0 && sim::IsRightAt(d.chip.regs, sim::IntendedMs(d, d.os.clock_ms));
}

std::string ClockName(const sim::DeviceState& d) {
    return d.os.set_offset_ms == 0 ? "true time" : "Settings time";
}

std::string VerdictLine(const sim::DeviceState& d) {
    if (d.os.no_true_time != 0) {
        return "devsim: clock not judged (no true time: --regs gave no valid date)\n";
    }
    const int64_t offset = d.os.set_offset_ms;
    const int64_t intended = sim::IntendedMs(d, d.os.clock_ms);
    // Set in Settings to another time on purpose: judged against that time.
    const std::string against =
        offset == 0 ? ""
                    : " for the time set in Settings (" + Duration(offset) +
                          (offset > 0 ? " ahead of" : " behind") + " the true time)";
    const std::optional<int64_t> drift = sim::RegistersDriftMs(d.chip.regs, intended);
    if (!drift) {
        return "devsim: clock wrong" + against + " (no valid date)\n";
    }
    return sim::IsRightAt(d.chip.regs, intended)
               ? "devsim: clock right" + against + "\n"
               : "devsim: clock wrong by " + Duration(*drift) + against + "\n";
}

namespace {

// How the program's process ended, when that was wrong; empty otherwise.
std::string EndProblem(const std::string& program, const ProcessResult& result,
                       const sim::DeviceState& d, bool stop_intended) {
    const std::string at = sim::FormatDateTime(sim::FromMs(d.os.clock_ms), true);
    if (d.os.program_fault[0] != '\0') {
        return program + " " + sim::Escaped(d.os.program_fault) + " at " + at;
    }
    if (d.os.stopped_at_limit != 0) {
        return stop_intended ? "" : program + " stopped at the limit: still running at " + at;
    }
    if (!result.exited && result.signal == SIGXCPU) {
        return program + " " + sim::kSpinCpuFault + " at " + at;
    }
    if (!result.exited) {
        return program + " crashed: signal " + std::to_string(result.signal) + " (" +
               strsignal(result.signal) + ") at " + at;
    }
    // Only a program that never reached the device got 125 from the
    // platform; one that did exited with it on its own.
    if (result.exit_code == sim::kNoDeviceExitCode && d.os.program_attached == 0) {
        return program + " could not reach the simulated device";
    }
    return "";
}

}  // namespace

std::vector<std::string> RunProblems(const std::string& program, const ProcessResult& result,
                                     const sim::DeviceState& d, bool stop_intended) {
    std::vector<std::string> problems;
    if (!result.started) {
        problems.push_back("cannot start " + program + ": " + result.why);
        return problems;
    }
    if (std::string end = EndProblem(program, result, d, stop_intended); !end.empty()) {
        problems.push_back(std::move(end));
    }
    for (uint32_t i = 0; i < d.log.violation_count && i < sim::kMaxViolations; ++i) {
        problems.push_back("access violation at " +
                           sim::FormatDateTime(sim::FromMs(d.log.violations[i].at_ms), true) +
                           ": " + sim::Escaped(d.log.violations[i].text));
    }
    if (d.log.violation_count > sim::kMaxViolations) {
        problems.push_back(std::to_string(d.log.violation_count - sim::kMaxViolations) +
                           " more access violations");
    }
    if (d.os.stopped_at_limit == 0 && result.exited && d.os.program_fault[0] == '\0') {
        if (d.os.kmode != 0) {
            problems.push_back(program + " left kernel mode on");
        }
        if ((d.chip.rtccon & RTCEN) != 0 && d.log.rtcen_by_run != 0) {  // not one left before
            problems.push_back(program + " left RTCEN set");
        }
    }
    return problems;
}

namespace {

// Why the platform refused a registration.
std::string RefusalReason(const sim::Launch& r) {
    const SYSTEMTIME& t = r.at;
    const bool leap = t.wYear % 4 == 0 && (t.wYear % 100 != 0 || t.wYear % 400 == 0);
    switch (r.refusal) {
        case sim::kStoreFailed: return "the notification store failed";
        case sim::kTableFull:
            return "the launch table is full: it holds " + std::to_string(sim::kMaxLaunches);
        case sim::kPathTooLong:
            return "a path of " + std::to_string(sim::kPathBytes) +
                   " bytes or more, shown cut";
        default:
            return t.wMonth == 2 && t.wDay == 29 && !leap
                       ? "no such date: February 29 of a common year"
                       : "no such date or time";
    }
}

std::string EventRefusalReason(const sim::EventRefusal& r) {
    switch (r.refusal) {
        case sim::kStoreFailed: return "the notification store failed";
        case sim::kTableFull:
            return "the simulated device keeps " + std::to_string(sim::kMaxEventStarts) +
                   " event starts";
        case sim::kPathTooLong:
            return "a path of " + std::to_string(sim::kPathBytes) + " bytes or more, shown cut";
        default:
            return "no such event: the platform documents events 0 to " +
                   std::to_string(sim::kLastEvent);
    }
}

// The programs the platform starts at an event, by event, then what it
// refused to register.
std::string EventLines(const sim::DeviceState& d) {
    std::string out;
    for (int32_t event = 1; event <= sim::kLastEvent; ++event) {
        for (const std::string& path : sim::EventStartPaths(d, event)) {
            out += "devsim: on " + std::string(sim::FindEvent(event)->name) + " " +
                   sim::Escaped(path) + "\n";
        }
    }
    for (uint32_t i = 0; i < d.log.event_refused_count && i < sim::kMaxRefused; ++i) {
        const sim::EventRefusal& r = d.log.event_refused[i];
        out += "devsim: refused " + sim::Escaped(r.path) + " at event " + std::to_string(r.event) +
               " (" + EventRefusalReason(r) + ")\n";
    }
    return out;
}

// The unattended-mode line: a clean run withdraws the request once, at its
// end, however often its watch renewed it; anything else is flagged.
std::string UnattendedLine(const sim::DeviceState& d) {
    const uint32_t asked = d.os.unattended_requests;
    const std::string requested =
        asked == 0 ? "never requested" : "requested " + std::to_string(asked) +
                                             (asked == 1 ? " time" : " times");
    if (d.os.unattended_withdrawals == 1 && d.os.unattended_on == 0) {
        return "devsim: unattended mode " + requested + ", withdrawn once at the end (clean)\n";
    }
    return "devsim: unattended mode " + requested + ", withdrawn " +
           std::to_string(d.os.unattended_withdrawals) + " times" +
           (d.os.unattended_on != 0 ? ", still requested" : "") +
           ": a clean run withdraws it once, at its end\n";
}

}  // namespace

std::string AccountLines(const sim::DeviceState& d, bool with_unattended) {
    const uint8_t year = d.chip.regs.year;
    std::string out = "devsim: rtc " + RegsText(d.chip.regs) + " (the chip's registers; year " +
                      Hex2(year) + " is " + std::to_string(YEAR_BASE + year) + ")\n";
    bool listed[sim::kMaxLaunches] = {};
    auto pending = [&](int i) {
        const sim::Launch& l = d.os.launches[i];
        out += "devsim: pending " + sim::Escaped(l.path) + " " + sim::FormatLaunchTime(l.at) + "\n";
        listed[i] = true;
    };
    for (const sim::Fixer& f : sim::kFixers) {
        const char* path = f.path;
        for (int i = 0; i < sim::kMaxLaunches; ++i) {
            if (d.os.launches[i].used != 0 && strcasecmp(d.os.launches[i].path, path) == 0) {
                pending(i);
            }
        }
    }
    for (int i = 0; i < sim::kMaxLaunches; ++i) {
        if (d.os.launches[i].used != 0 && !listed[i]) {
            pending(i);
        }
    }
    for (uint32_t i = 0; i < d.log.refused_count && i < sim::kMaxRefused; ++i) {
        const sim::Launch& r = d.log.refused[i];
        out += "devsim: refused " + sim::Escaped(r.path) + " " + sim::FormatLaunchTime(r.at) +
               " (" + RefusalReason(r) + ")\n";
    }
    out += EventLines(d);
    return with_unattended ? out + UnattendedLine(d) : out;
}

}  // namespace devsim
