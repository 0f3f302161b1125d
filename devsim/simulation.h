// One device carried through time: the fixers launched by the simulated
// timed launch as they registered themselves, the RTC checked against the
// true calendar after every midnight step and write, and the owner's
// actions applied as they come.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "arm_server.h"
#include "device_state.h"
#include "fixers.h"
#include "owner_action.h"
#include "result.h"

namespace devsim {

struct SpanSettings {
    int64_t to_ms = 0;             // nothing past this is simulated
    int64_t launch_delay_ms = 250;  // from a launch's time to its program's start
    const bool* disabled = nullptr;  // by index in sim::kFixers, or none
    bool arm = false;               // the device images under the ARM runner
    // devsim owner: each note said at once, and a wrong clock not counted
    // as unguarded (the owner may have set it so on purpose).
    std::function<void(const std::string&)> say;
    // devsim owner: the rollover lines of each action, once it is done.
    std::function<void(const std::string&)> report;
};

class Simulation {
public:
    Simulation(SpanSettings s, sim::DeviceState& d, std::string file, ArmServer* arm)
        : s_(std::move(s)), d_(d), file_(std::move(file)), arm_(arm), horizon_ms_(s_.to_ms) {}

    // The program index of the status program, past the fixers'.
    static constexpr int kStatus = sim::kFixerCount;

    // Starts the fixer at index `program` as the owner does, by hand.
    sim::Status StartByHand(int program);
    // The owner's actions one after another, each said (devsim owner); a
    // program keeps running through them until it ends, or a reset ends it.
    sim::Status Perform(const std::vector<OwnerAction>& actions);
    // The owner's events to come at their times (devsim years --events);
    // then the span played to its end, a program running through them as above.
    void Schedule(const std::vector<OwnerEvent>& events);
    sim::Status PlayEvents();
    // Carries the device to `until_ms`, launching what falls due.
    sim::Status RunUntil(int64_t until_ms);
    // A wait that cannot be (into the past, past the year register) failed
    // the last Perform: the owner's words, not the device, were wrong.
    bool BadWait() const { return bad_wait_; }

    // The rollover lines (one per year, each day's events) and clears them.
    std::string TakeReport();
    // The per-program counts and the closing lines of devsim years; the exit status.
    int Finish(int from_year, int to_year, bool quiet);
    // How many of the owner's actions the device refused (a start with no file).
    uint32_t Refusals() const { return refusals_; }
    // Boxes a program showed where the owner cannot see them.
    uint32_t HiddenBoxes() const { return hidden_boxes_; }
    // How many rollovers left the RTC wrong with no program watching.
    uint64_t Unguarded() const { return unguarded_; }

private:
    // One of the owner's actions: as soon as the one before is done (devsim
    // owner), or at a time (an event of devsim years).
    struct Step {
        OwnerAction action;
        std::optional<int64_t> at_ms;
    };
    sim::Status Apply(const Step& step);
    sim::Status ApplyAction(const OwnerAction& action);
    int64_t NextHorizon() const;
    void AtPause();
    bool TakeStepsAtPause();
    sim::Result<int64_t> WaitEnd(const OwnerAction& a) const;
    sim::Status LaunchAsDue();
    sim::Status Launch(int program, const std::string& how);
    // How a clean run ended: its status; stopped by what came next; begun
    // by a launch that found the handheld's clock wrong.
    struct RunEnd {
        int exit_code;
        bool capped;
        bool clock_wrong;
    };
    std::string Ended(const char* name, const std::string& how, const RunEnd& end) const;
    sim::Result<ProcessResult> RunLaunch(const ProgramCommand& command,
                                         const std::string& command_line);
    void Conclude(int program, const char* name, const std::string& how, const RunEnd& end);
    sim::Status StartPath(const std::string& path, const std::string& how, bool by_owner);
    sim::Status StartAndFollow(const std::string& path, const std::string& how, bool by_owner);
    sim::Status RunStarts();
    void TakeStarts(const char* by, bool ran_clean);
    sim::Result<uint32_t> RunSetup(const char* export_name);
    void NoteOpenHandles(const std::string& program);
    void NoteBox(const std::string& name);
    std::vector<std::string> RemoveInstalled();
    sim::Result<bool> SetupGoesOn(const char* export_name, const char* cancelled);
    sim::Status Install();
    sim::Status AddReminders(int count);
    sim::Status Uninstall();
    sim::Status Reset(const OwnerAction& action);
    void SetClock(const OwnerAction& action);
    void ChangeZone(const OwnerAction& action);
    sim::Status AfterClockSet(int32_t event);
    bool CarryToLaunch(const SYSTEMTIME& at, int64_t until_ms);
    void CarryTo(int64_t ms);
    void Drain(const char* program);
    void Judge();
    void Note(const std::string& item);
    void See(int64_t at, const RtcRegisters& before, const RtcRegisters& after, const char* program,
             uint8_t mask);
    void CountRun(int program);
    void ReportCounts() const;
    bool Disabled(int program) const {
        return program < sim::kFixerCount && s_.disabled != nullptr && s_.disabled[program];
    }

    const SpanSettings s_;
    sim::DeviceState& d_;
    const std::string file_;
    ArmServer* const arm_;  // runs the programs with --arm
    bool reached_to_ = false;  // a program was still running at the end of the span

    uint64_t launches_ = 0;
    struct FixerCounts {
        uint64_t launches = 0;
        uint64_t writes = 0;
        uint64_t guarded = 0;  // runs that saw a midnight step or wrote, and left the RTC right
    };
    FixerCounts counts_[sim::kFixerCount];
    uint64_t fixes_ = 0;
    uint64_t unguarded_ = 0;
    int64_t worst_wrong_ms_ = 0;
    std::deque<int64_t> recent_starts_;
    // Programs that processes asked to start (CreateProcessW), each with the
    // process that asked, run in order once that process has ended.
    struct QueuedStart {
        std::string path;
        std::string command_line;
        std::string by;
    };
    std::deque<QueuedStart> starts_;
    // A program still running at this device time pauses there while the
    // owner's next action or event happens: the end of a wait, the next
    // event's time, or now, when the next action comes at once.
    int64_t horizon_ms_ = 0;
    // The owner's actions not yet done, in order.
    std::deque<Step> agenda_;
    // The programs running, the innermost last, each paused while one that
    // started meanwhile runs; whether its run saw the RTC step or wrote.
    struct Running {
        std::string name;
        bool saw_rollover;
    };
    std::vector<Running> running_;
    bool saw_rollover_ = false;  // the run just ended, before its last part
    // How far RunUntil carries the device: the end of the wait under way.
    int64_t carry_ms_ = 0;
    // Why the innermost running program was ended where it was paused (a
    // reset's words); empty when it was not.
    std::string ended_by_;
    // What went wrong while a program was paused, said once it has ended.
    std::optional<sim::Status> failed_in_pause_;
    bool bad_wait_ = false;
    // The launch being started found the handheld's clock away from the
    // time it is judged against: its line names both clocks.
    bool launch_clock_wrong_ = false;
    // The command line of the launch being started: a timed launch's, an
    // event's; empty for a tap or a program's CreateProcessW.
    std::string command_line_;

    // The open stretch of wrong time, if the RTC is wrong now.
    struct Wrong {
        int64_t since;
        int64_t day;
        bool unguarded;
        bool rollover;  // opened by the chip's step or a write, not by the owner's hand
    };
    std::optional<Wrong> wrong_;
    // What happened at the end of each day (days since 1970, as the owner
    // means the time) that saw anything.
    std::map<int64_t, std::vector<std::string>> rollovers_;
    uint32_t refusals_ = 0;  // owner's actions the device refused (a start with no file)
    uint32_t hidden_boxes_ = 0;
};

}  // namespace devsim
