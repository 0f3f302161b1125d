#include "years_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "account.h"
#include "arm_server.h"
#include "process.h"
#include "registers.h"
#include "say.h"
#include "state_file.h"

namespace devsim {

namespace {

constexpr int64_t kMsPerHour = 3600 * sim::kMsPerSecond;
constexpr int64_t kRunLimitS = 3600;
constexpr int kMaxLaunchesPerMinute = 10;

int64_t DayOf(int64_t ms) {
    return ms >= 0 ? ms / sim::kMsPerDay : -((-ms - 1) / sim::kMsPerDay) - 1;
}


int64_t TimeOfDayMs(const SYSTEMTIME& t) {
    return ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * sim::kMsPerSecond + t.wMilliseconds;
}

class Simulation {
public:
    Simulation(const YearsOptions& o, sim::DeviceState& d, std::string file, ArmServer* arm)
        : o_(o), d_(d), to_ms_(sim::ToMs(o.to)), file_(std::move(file)), arm_(arm) {}

    // The exit status, or why a guard stopped the span.
    sim::Result<int> Run();

private:
    sim::Status LaunchAsDue();
    int Finish();
    sim::Status Launch(int program);
    bool CarryToLaunch(const SYSTEMTIME& at);
    void CarryTo(int64_t ms);
    void Drain(const char* program);
    void See(int64_t at, const RtcRegisters& before, const RtcRegisters& after, const char* program,
             uint8_t mask);
    void Report() const;

    const YearsOptions& o_;
    sim::DeviceState& d_;
    const int64_t to_ms_;
    const std::string file_;
    ArmServer* const arm_;  // runs the programs with --arm
    bool reached_to_ = false;  // a program was still running at --to

    uint64_t launches_ = 0;
    struct FixerCounts {
        uint64_t launches = 0;
        uint64_t writes = 0;
        uint64_t guarded = 0;  // runs that saw a midnight step or wrote, and left the RTC right
    };
    FixerCounts counts_[sim::kFixerCount];
    void CountRun(int program);
    void ReportCounts() const;
    uint64_t fixes_ = 0;
    uint64_t unguarded_ = 0;
    int64_t worst_wrong_ms_ = 0;
    std::deque<int64_t> recent_starts_;

    // The open stretch of wrong time, if the RTC is wrong now.
    struct Wrong {
        int64_t since;
        int64_t day;
        bool unguarded;
    };
    std::optional<Wrong> wrong_;
    // What happened at the end of each true day (days since 1970) that saw anything.
    std::map<int64_t, std::vector<std::string>> rollovers_;
};

void Simulation::See(int64_t at, const RtcRegisters& before, const RtcRegisters& after,
                     const char* program, uint8_t mask) {
    const bool right = sim::IsRightAt(after, at);
    const bool is_write = program != nullptr;
    // Steps and writes belong to the rollover they happen around, just before
    // midnight or after it; the chip's midnight may lag the true one a little.
    const int64_t day = DayOf(at - kMsPerHour);
    std::string item;
    if (is_write) {
        item = std::string(program) + " wrote " +
               (mask == sim::MaskBit(&RtcRegisters::year) ? YearText(after.year)
                                  : Hex2(after.month) + "-" + Hex2(after.date));
    } else if (!wrong_ && !right) {
        item = after.year != before.year ? "chip year " + YearText(after.year)
                                         : "chip " + Hex2(after.month) + "-" + Hex2(after.date);
    }
    if (wrong_ && right) {
        const int64_t span = at - wrong_->since;
        worst_wrong_ms_ = std::max(worst_wrong_ms_, span);
        if (!item.empty()) {
            item += " (wrong " + Duration(span) + ")";
        }
        wrong_.reset();
    } else if (!wrong_ && !right) {
        wrong_ = Wrong{at, day, false};
    } else if (is_write && right) {
        item += " at " + Hex2(before.hour) + ":" + Hex2(before.min) + ":" + Hex2(before.sec);
    } else if (is_write) {
        item += " (still wrong)";
    }
    if (!item.empty()) {
        rollovers_[day].push_back(item);
    }
}

// Feeds the device's logs of midnight steps and writes to the checker, in
// time order; the step comes first when both fall on the same instant.
void Simulation::Drain(const char* program) {
    struct Ev {
        int64_t at;
        int order;
        const RtcRegisters* before;
        const RtcRegisters* after;
        uint8_t mask;
    };
    std::vector<Ev> events;
    const uint32_t midnights = std::min<uint32_t>(d_.log.midnight_count, sim::kMaxMidnightLog);
    for (uint32_t i = 0; i < midnights; ++i) {
        const sim::MidnightRecord& m = d_.log.midnight_log[i];
        events.push_back({m.at_ms, 0, &m.before, &m.after, 0});
    }
    for (uint32_t i = 0; i < d_.log.write_log_count; ++i) {
        const sim::WriteOp& w = d_.log.write_log[i];
        events.push_back({w.at_ms, 1, &w.before, &w.after, w.mask});
    }
    std::stable_sort(events.begin(), events.end(), [](const Ev& a, const Ev& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    for (const Ev& e : events) {
        See(e.at, *e.before, *e.after, e.order == 1 ? program : nullptr, e.mask);
    }
    fixes_ += d_.log.write_ops;
    sim::ClearRunLog(d_);
    // Nobody watches outside a run: whatever is wrong now stays wrong.
    if (wrong_ && !wrong_->unguarded) {
        wrong_->unguarded = true;
        ++unguarded_;
        rollovers_[wrong_->day].emplace_back("unguarded");
    }
}

void Simulation::CarryTo(int64_t ms) {
    while (d_.os.clock_ms < ms) {
        // Half a day at a time, so that the midnight log never overflows.
        sim::PassTime(d_, std::min(ms, d_.os.clock_ms + sim::kMsPerDay / 2));
        Drain(nullptr);
    }
}

// Moves the device on until its local time reaches `at`; false when --to
// comes first.
bool Simulation::CarryToLaunch(const SYSTEMTIME& at) {
    for (;;) {
        const SYSTEMTIME now = sim::DeviceLocalTime(d_);
        Drain(nullptr);
        if (sim::CompareTimes(now, at) >= 0) {
            return true;
        }
        if (d_.os.clock_ms >= to_ms_) {
            return false;
        }
        const RtcRegisters& r = d_.chip.regs;
        const bool time_valid = sim::IsBcd(r.hour) && sim::IsBcd(r.min) && sim::IsBcd(r.sec) &&
                                r.hour <= 0x23 && r.min <= 0x59 && r.sec <= 0x59;
        int64_t next = d_.chip.next_tick_ms;  // one tick, for a clock showing no sane time
        if (time_valid && now.wYear == at.wYear && now.wMonth == at.wMonth &&
            now.wDay == at.wDay) {
            next = d_.os.clock_ms + (TimeOfDayMs(at) - TimeOfDayMs(now));
        } else if (time_valid) {
            const int64_t ticks_to_midnight = 86400 - TimeOfDayMs(now) / sim::kMsPerSecond;
            next = d_.chip.next_tick_ms + (ticks_to_midnight - 1) * sim::kMsPerSecond;
        }
        sim::PassTime(d_, std::min(next, to_ms_));
    }
}

sim::Status Simulation::Launch(int program) {
    ++launches_;
    ++counts_[program].launches;
    recent_starts_.push_back(d_.os.clock_ms);
    while (recent_starts_.front() < d_.os.clock_ms - 60 * sim::kMsPerSecond) {
        recent_starts_.pop_front();
    }
    if (recent_starts_.size() > kMaxLaunchesPerMinute) {
        return sim::Fail("more than 10 launches within one minute of device time, the last at " +
                         sim::FormatDateTime(sim::FromMs(d_.os.clock_ms), true));
    }
    if (o_.disabled[program]) {
        return sim::Ok();
    }
    sim::BeginRun(d_, kRunLimitS, 0, false);
    sim::CapRun(d_, to_ms_);  // nothing past --to is simulated
    const char* name = sim::kFixers[program].name;
    const ProgramCommand command = CommandFor(name, o_.arm);
    const ProcessResult result =
        arm_ != nullptr ? RunOnArmServer(*arm_, command, file_, true)
                        : RunProgram(command, file_, sim::LockDescriptor(&d_), true);
    reached_to_ = d_.os.stopped_at_limit != 0 && d_.os.limit_ms == to_ms_;
    const std::vector<std::string> problems = RunProblems(name, result, d_, reached_to_);
    sim::EndProcess(d_);
    if (!problems.empty()) {
        return sim::Fail(problems.front());
    }
    sim::CatchUp(d_);  // judged as the chip holds them now, not as last read
    CountRun(program);
    Drain(name);
    return sim::Ok();
}

void Simulation::CountRun(int program) {
    FixerCounts& c = counts_[program];
    c.writes += d_.log.write_ops;
    const bool rollover = d_.log.midnight_count > 0 || d_.log.write_ops > 0;
    if (rollover && sim::IsRightAt(d_.chip.regs, d_.os.clock_ms)) {
        ++c.guarded;
    }
}

void Simulation::ReportCounts() const {
    char line[96];
    std::snprintf(line, sizeof line, "%-8s %9s %7s %18s\n", "", "launches", "writes",
                  "rollovers guarded");
    std::cout << line;
    for (int p = 0; p < sim::kFixerCount; ++p) {
        std::snprintf(line, sizeof line, "%-8s %9llu %7llu %18llu\n", sim::kFixers[p].name,
                      static_cast<unsigned long long>(counts_[p].launches),
                      static_cast<unsigned long long>(counts_[p].writes),
                      static_cast<unsigned long long>(counts_[p].guarded));
        std::cout << line;
    }
}

// One line per year, its days after the year; a day that does not fit
// goes on a line of its own, under the first.
void Simulation::Report() const {
    constexpr size_t kIndent = 6;  // "1960  "
    std::map<int, std::string> years;
    for (const auto& [day, items] : rollovers_) {
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const sim::DateTime t = sim::CivilFromDays(day);
        std::string part = std::string(kMonths[t.month - 1]) + " " + std::to_string(t.day) + ": ";
        for (size_t i = 0; i < items.size(); ++i) {
            part += (i == 0 ? "" : ", ") + items[i];
        }
        std::string& text = years[t.year];
        const size_t line_length = text.size() - (text.rfind('\n') + 1);
        if (text.empty()) {
            text = std::to_string(t.year) + "  " + part;
        } else if (line_length + 2 + part.size() <= kColumns) {
            text += "; " + part;
        } else {
            text += ";\n" + std::string(kIndent, ' ') + part;
        }
    }
    for (const auto& [year, text] : years) {
        std::cout << Fitted(text, kIndent) << "\n";
    }
}

sim::Result<int> Simulation::Run() {
    // The one start by hand: the first fixer installed, at --from itself.
    for (int p = 0; p < sim::kFixerCount; ++p) {
        if (!o_.disabled[p]) {
            if (const sim::Status launched = Launch(p); !launched) {
                return sim::Fail(launched.why());
            }
            break;
        }
    }
    if (const sim::Status launched = LaunchAsDue(); !launched) {
        return sim::Fail(launched.why());
    }
    return Finish();
}

// Each pending launch in turn, as it falls due, until --to.
sim::Status Simulation::LaunchAsDue() {
    for (;;) {
        const sim::Launch* next = sim::EarliestLaunch(d_);
        if (reached_to_ || next == nullptr || !CarryToLaunch(next->at)) {
            return sim::Ok();
        }
        const std::string path = next->path;
        sim::TakeLaunch(d_, next);
        const int64_t start = d_.os.clock_ms + o_.launch_delay_ms;
        if (start > to_ms_) {
            return sim::Ok();
        }
        CarryTo(start);
        const auto* p = std::find_if(std::begin(sim::kFixers), std::end(sim::kFixers),
                                     [&path](const sim::Fixer& f) { return path == f.path; });
        if (p == std::end(sim::kFixers)) {
            continue;  // nothing is installed at a path that is not a fixer's
        }
        if (const sim::Status launched = Launch(static_cast<int>(p - std::begin(sim::kFixers)));
            !launched) {
            return launched;
        }
    }
}

// Carries the device to --to and reports; the exit status.
int Simulation::Finish() {
    CarryTo(to_ms_);
    if (wrong_) {
        worst_wrong_ms_ = std::max(worst_wrong_ms_, to_ms_ - wrong_->since);
    }
    const sim::DateTime rtc = sim::FromSystemTime(sim::DeviceLocalTime(d_));
    const bool end_right = sim::IsRightAt(d_.chip.regs, d_.os.clock_ms);
    const int64_t drift = sim::IsValid(rtc) ? sim::ToMs(rtc) - d_.os.clock_ms : 0;

    if (!o_.quiet) {
        Report();
        ReportCounts();
        std::cout << "longest wrong at one rollover: " << Duration(worst_wrong_ms_)
                  << "; at the end the RTC is " << (end_right ? "right, " : "wrong, ")
                  << (drift == 0 ? "on time"
                                 : Duration(drift) + (drift > 0 ? " ahead" : " behind"))
                  << "\n";
    }
    std::cout << "summary: years=" << (o_.to.year - o_.from.year + 1)
              << " launches=" << launches_ << " fixes=" << fixes_ << " unguarded=" << unguarded_
              << " worst_wrong_ms=" << worst_wrong_ms_ << " drift_ms=" << drift
              << " end=" << (end_right ? "right" : "wrong") << "\n";
    return unguarded_ == 0 && end_right ? 0 : 1;
}

}  // namespace

namespace {

// The span on the device in `file`, with the resident ARM runner for --arm;
// the exit status.
int Simulate(const YearsOptions& options, sim::DeviceState& d, const std::string& file) {
    sim::Result<ArmServer> arm = ArmServer{};
    if (options.arm) {
        arm = StartArmServer(CommandFor(sim::kFixers[0].name, true), sim::LockDescriptor(&d));
    }
    if (!arm) {
        Say("devsim: cannot start the ARM runner: " + arm.why() + "\n");
        return 3;
    }
    const sim::Result<int> ran = Simulation(options, d, file, options.arm ? &*arm : nullptr).Run();
    if (!ran) {
        std::cout.flush();
        Say("devsim: guard: " + ran.why() + "\n");
    }
    StopArmServer(*arm);
    return ran ? *ran : 3;
}

}  // namespace

int YearsCommand(const YearsOptions& options) {
    for (int p = 0; p < sim::kFixerCount; ++p) {
        const char* name = sim::kFixers[p].name;
        const sim::Status usable = CheckProgram(CommandFor(name, options.arm));
        if (!options.disabled[p] && !usable) {
            Say("devsim: program " + std::string(name) + " " + usable.why() + "\n");
            return 2;
        }
    }
    sim::DeviceConfig config;
    config.at = options.from;
    config.hw = options.hw;
    sim::DeviceState initial;
    sim::InitDevice(initial, config);
    std::string file;
    sim::DeviceState* d = CreateTempDevice(initial, file);
    if (d == nullptr) {
        return 2;
    }
    const int status = Simulate(options, *d, file);
    sim::CloseStateFile(d);
    RemoveTempDevice(file);
    return status;
}

}  // namespace devsim
