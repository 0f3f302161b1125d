#include "simulation.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>

#include "account.h"
#include "event_starts.h"
#include "notification_store.h"
#include "owner_device.h"
#include "process.h"
#include "registers.h"
#include "say.h"
#include "state_file.h"
#include "text.h"

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

}  // namespace

void Simulation::See(int64_t at, const RtcRegisters& before, const RtcRegisters& after,
                     const char* program, uint8_t mask) {
    const bool right = sim::IsRightAt(after, sim::IntendedMs(d_, at));
    const bool is_write = program != nullptr;
    // Steps and writes belong to the rollover they happen around, just before
    // midnight or after it; the chip's midnight may lag the true one a little.
    const int64_t day = DayOf(sim::IntendedMs(d_, at) - kMsPerHour);
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
        wrong_ = Wrong{at, day, false, true};
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
    // Nobody watches outside a run: whatever is wrong now stays wrong. (The
    // owner's own hand, a reset or a clock set, is said as it comes.) A
    // program paused meanwhile still watches.
    if (running_.empty() && wrong_ && !wrong_->unguarded && (!s_.say || wrong_->rollover)) {
        wrong_->unguarded = true;
        ++unguarded_;
        rollovers_[wrong_->day].emplace_back("unguarded");
    }
}

// The clock as the owner left it, judged now: a stretch of wrong time opens
// or closes.
void Simulation::Judge() {
    sim::CatchUp(d_);
    Drain(nullptr);
    const bool right = sim::IsRightAt(d_.chip.regs, sim::IntendedMs(d_, d_.os.clock_ms));
    if (wrong_ && right) {
        worst_wrong_ms_ = std::max(worst_wrong_ms_, d_.os.clock_ms - wrong_->since);
        wrong_.reset();
    } else if (!wrong_ && !right) {
        wrong_ = Wrong{d_.os.clock_ms, DayOf(sim::IntendedMs(d_, d_.os.clock_ms)), false, false};
    }
    Drain(nullptr);
}

void Simulation::Note(const std::string& item) {
    if (s_.say) {
        s_.say(item);
    } else {
        rollovers_[DayOf(sim::IntendedMs(d_, d_.os.clock_ms))].push_back(sim::Escaped(item));
    }
}

void Simulation::CarryTo(int64_t ms) {
    while (d_.os.clock_ms < ms) {
        // Half a day at a time, so that the midnight log never overflows.
        sim::PassTime(d_, std::min(ms, d_.os.clock_ms + sim::kMsPerDay / 2));
        Drain(nullptr);
    }
}

// Moves the device on until its local time reaches `at`; false when
// `until_ms` comes first.
bool Simulation::CarryToLaunch(const SYSTEMTIME& at, int64_t until_ms) {
    for (;;) {
        const SYSTEMTIME now = sim::DeviceLocalTime(d_);
        Drain(nullptr);
        if (sim::CompareTimes(now, at) >= 0) {
            return true;
        }
        if (d_.os.clock_ms >= until_ms) {
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
        sim::PassTime(d_, std::min(next, until_ms));
    }
}

sim::Status Simulation::Launch(int program, const std::string& how) {
    // Set for this launch alone, not for the programs it starts.
    const bool clock_wrong = std::exchange(launch_clock_wrong_, false);
    const std::string command_line = std::exchange(command_line_, std::string());
    const bool fixer = program < sim::kFixerCount;
    ++launches_;
    if (fixer) {
        ++counts_[program].launches;
    }
    recent_starts_.push_back(d_.os.clock_ms);
    while (recent_starts_.front() < d_.os.clock_ms - 60 * sim::kMsPerSecond) {
        recent_starts_.pop_front();
    }
    if (recent_starts_.size() > kMaxLaunchesPerMinute) {
        return sim::Fail("more than 10 launches within one minute of device time, the last at " +
                         sim::FormatDateTime(sim::FromMs(d_.os.clock_ms), true));
    }
    if (Disabled(program)) {
        return sim::Ok();
    }
    const char* name = fixer ? sim::kFixers[program].name : sim::kStatusProgram.name;
    const sim::Result<ProcessResult> result = RunLaunch(CommandFor(name, s_.arm), command_line);
    if (!result) {
        return sim::Fail(result.why());
    }
    // Stopped by the span's end, or by a reset while it was paused.
    const bool capped = d_.os.stopped_at_limit != 0 &&
                        (d_.os.limit_ms == s_.to_ms || !ended_by_.empty());
    reached_to_ = capped && d_.os.limit_ms == s_.to_ms && ended_by_.empty();
    const std::vector<std::string> problems = RunProblems(name, *result, d_, capped);
    NoteOpenHandles(name);
    sim::EndProcess(d_);
    TakeStarts(name, problems.empty());
    if (!problems.empty()) {
        return sim::Fail(problems.front());
    }
    Conclude(program, name, how, {result->exit_code, capped, clock_wrong});
    ended_by_.clear();
    return sim::Ok();
}

// Runs a program's process, which pauses at the horizon while what comes
// then happens; what went wrong meanwhile is the run's failure.
sim::Result<ProcessResult> Simulation::RunLaunch(const ProgramCommand& command,
                                                 const std::string& command_line) {
    sim::BeginRun(d_, kRunLimitS, 0, false);
    sim::SetCommandLine(d_, command_line);
    sim::CapRun(d_, s_.to_ms);  // nothing past the span is simulated
    d_.os.pause_ms = horizon_ms_ < d_.os.limit_ms ? horizon_ms_ : 0;
    running_.push_back({command.program, false});
    const PauseHandler pause = [this] { AtPause(); };
    // The resident runner serves one launch at a time: while it holds a
    // paused one, a program started meanwhile runs under a runner of its own.
    const bool resident = arm_ != nullptr && running_.size() == 1;
    const ProcessResult result =
        resident ? RunOnArmServer(*arm_, command, file_, true, pause)
                 : RunProgram(command, file_, sim::LockDescriptor(&d_), true, pause);
    saw_rollover_ = running_.back().saw_rollover;
    running_.pop_back();
    if (failed_in_pause_) {
        const sim::Status failed = *std::exchange(failed_in_pause_, std::nullopt);
        ended_by_.clear();
        return sim::Fail(failed.why());
    }
    return result;
}

// A run that ended clean, judged as the chip holds its registers now (not
// as last read), and said: how it ended, the box it showed.
void Simulation::Conclude(int program, const char* name, const std::string& how,
                          const RunEnd& end) {
    sim::CatchUp(d_);
    if (program < sim::kFixerCount) {
        CountRun(program);
    }
    Drain(name);
    if (s_.say || (end.capped && !reached_to_)) {
        Note(Ended(name, how, end));
    }
    NoteBox(name);
}

// The box a process showed, as the owner sees it or does not: one behind
// the foreground window is the program's fault (the owner never reads it,
// and the program waits for OK).
void Simulation::NoteBox(const std::string& name) {
    if (d_.log.box_shown != 0 && d_.log.box_hidden != 0) {
        ++hidden_boxes_;
        Note(name + " shows a box behind the foreground window: the owner does not see it (\"" +
             d_.log.box_caption + "\": \"" + d_.log.box_text + "\")");
    } else if (d_.log.box_shown != 0) {
        Note(std::string(d_.log.box_caption) + " shows: \"" + d_.log.box_text + "\"");
    }
}

// How a program's run ended: exited, or stopped by what came next while it
// still ran (the next event, or the end of a wait). Its times are on the
// clock it is judged against; a launch found the handheld's clock away
// from it names both.
std::string Simulation::Ended(const char* name, const std::string& how, const RunEnd& end) const {
    const auto at = [this](int64_t ms) {
        return sim::FormatDateTime(sim::FromMs(sim::IntendedMs(d_, ms)), true);
    };
    const std::string clock = end.clock_wrong ? " " + ClockName(d_) : "";
    if (d_.os.stopped_at_limit != 0 && !reached_to_) {
        return std::string(name) + " started " + how + ", still running at " +
               at(d_.os.limit_ms) + clock + ", when " + ended_by_ + ": stopped there";
    }
    return std::string(name) + " started " + how + ", exited " + std::to_string(end.exit_code) +
           " at " + at(d_.os.clock_ms) + clock;
}

void Simulation::CountRun(int program) {
    FixerCounts& c = counts_[program];
    c.writes += d_.log.write_ops;
    const bool rollover = saw_rollover_ || d_.log.midnight_count > 0 || d_.log.write_ops > 0;
    if (rollover && sim::IsRightAt(d_.chip.regs, sim::IntendedMs(d_, d_.os.clock_ms))) {
        ++c.guarded;
    }
}

sim::Status Simulation::StartByHand(int program) {
    horizon_ms_ = NextHorizon();
    if (const sim::Status ran = Launch(program, "by hand"); !ran) {
        return ran;
    }
    return RunStarts();
}

sim::Status Simulation::RunUntil(int64_t until_ms) {
    horizon_ms_ = carry_ms_ = until_ms;
    if (const sim::Status launched = LaunchAsDue(); !launched) {
        return launched;
    }
    CarryTo(carry_ms_);
    return sim::Ok();
}

// Each pending launch in turn, as it falls due, until the carry's end
// (which a wait taken while a program ran moves on); a launch not yet
// started then stays pending.
sim::Status Simulation::LaunchAsDue() {
    for (;;) {
        const sim::Launch* next = sim::EarliestLaunch(d_);
        if (reached_to_ || next == nullptr || !CarryToLaunch(next->at, carry_ms_)) {
            return sim::Ok();
        }
        const int64_t start = d_.os.clock_ms + s_.launch_delay_ms;
        if (start > carry_ms_) {
            return sim::Ok();
        }
        const std::string path = next->path;
        const std::string when = sim::FormatLaunchTime(next->at);
        sim::TakeLaunch(d_, next);
        CarryTo(start);
        sim::CatchUp(d_);
        launch_clock_wrong_ = !sim::IsRightAt(d_.chip.regs, sim::IntendedMs(d_, d_.os.clock_ms));
        const std::string how =
            "by its launch at " + when +
            (launch_clock_wrong_
                 ? " on the handheld's clock (" + ClockName(d_) + " " +
                       sim::FormatDateTime(sim::FromMs(sim::IntendedMs(d_, start)), true) + ")"
                 : "");
        command_line_ = sim::kRunAtTimeArguments;
        const sim::Status ran = StartAndFollow(path, how, false);
        launch_clock_wrong_ = false;  // should the path start nothing
        command_line_.clear();
        if (!ran) {
            return ran;
        }
    }
}

}  // namespace devsim
