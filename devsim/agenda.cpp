// The owner's actions and events in time while programs run: a program
// keeps running through them, as on the device. It pauses where the next
// one comes (its process stopped), that one happens, and the program goes
// on; only what ends a program on the device, a reset or a flat battery,
// ends it there.
#include <utility>

#include "simulation.h"
#include "text.h"

namespace devsim {

namespace {

using Kind = OwnerAction::Kind;

// What the owner does that ends every program: said when it ends one.
const char* Ending(Kind kind) {
    switch (kind) {
        case Kind::SoftReset: return "the handheld was soft reset";
        case Kind::HardReset: return "the handheld was hard reset";
        case Kind::FlatBattery: return "the battery went flat";
        default: return nullptr;
    }
}

}  // namespace

sim::Status Simulation::Perform(const std::vector<OwnerAction>& actions) {
    for (const OwnerAction& a : actions) {
        agenda_.push_back({a, std::nullopt});
    }
    while (!agenda_.empty()) {
        const Step step = agenda_.front();
        agenda_.pop_front();
        const sim::Status done = Apply(step);
        if (s_.report) {
            s_.report(TakeReport());
        }
        if (!done) {
            return done;
        }
    }
    return sim::Ok();
}

void Simulation::Schedule(const std::vector<OwnerEvent>& events) {
    for (const OwnerEvent& e : events) {
        agenda_.push_back({e.action, sim::ToMs(e.at)});
    }
}

sim::Status Simulation::PlayEvents() {
    while (!agenda_.empty()) {
        if (const sim::Status ran = RunUntil(*agenda_.front().at_ms); !ran) {
            return ran;
        }
        // What a program's pause did not take already.
        while (!agenda_.empty() && *agenda_.front().at_ms <= d_.os.clock_ms) {
            const Step step = agenda_.front();
            agenda_.pop_front();
            const sim::Status done = d_.os.clock_ms < s_.to_ms ? Apply(step) : sim::Ok();
            if (!done) {
                return done;
            }
        }
    }
    return RunUntil(s_.to_ms);
}

// Where a wait ends, or why it cannot: before now, or past the span.
sim::Result<int64_t> Simulation::WaitEnd(const OwnerAction& a) const {
    const int64_t until = a.time ? sim::ToMs(*a.time) : d_.os.clock_ms + a.wait_ms;
    if (until < d_.os.clock_ms) {
        return sim::Fail(a.text + ": the device's time is already " +
                         sim::FormatDateTime(sim::FromMs(d_.os.clock_ms)));
    }
    if (until > s_.to_ms) {
        return sim::Fail(a.text + ": that is past " + sim::FormatDateTime(sim::FromMs(s_.to_ms)) +
                         ", the last time the year register holds");
    }
    return until;
}

// Where a program started now pauses: when the next action or event comes.
int64_t Simulation::NextHorizon() const {
    return agenda_.empty() ? s_.to_ms : agenda_.front().at_ms.value_or(d_.os.clock_ms);
}

sim::Status Simulation::Apply(const Step& step) {
    const OwnerAction& a = step.action;
    if (a.kind == Kind::Wait) {
        const sim::Result<int64_t> end = WaitEnd(a);
        if (!end) {
            bad_wait_ = true;
            return sim::Fail(end.why());
        }
        Note("> " + a.text);
        return RunUntil(*end);
    }
    if (s_.say) {
        Note("> " + a.text);
    }
    horizon_ms_ = NextHorizon();
    return ApplyAction(a);
}

// A program paused at the horizon (its process stopped): what comes then
// happens, on the device as it is, the program's own run put aside
// meanwhile; then it sleeps on to the next horizon, or is ended there.
void Simulation::AtPause() {
    if (d_.os.paused == 0 || running_.empty()) {
        return;  // a stop that is not the device's pause: it just goes on
    }
    Running& self = running_.back();
    self.saw_rollover = self.saw_rollover || d_.log.midnight_count > 0 || d_.log.write_ops > 0;
    sim::CatchUp(d_);
    Drain(self.name.c_str());  // its writes so far, in time, before anything else
    const sim::ProcessContext paused = sim::PutProcessAside(d_);
    const bool go_on = TakeStepsAtPause();
    sim::RestoreProcess(d_, paused);
    d_.os.paused = 1;
    d_.os.end_at_pause = go_on ? 0 : 1;
    d_.os.pause_ms =
        go_on && horizon_ms_ < d_.os.limit_ms ? std::max(horizon_ms_, d_.os.clock_ms) : 0;
}

// The owner's actions or events due now, done while the program sleeps,
// up to a wait or a later event (the next horizon); false when what comes
// next ends the program (a reset, which then comes after it) or failed.
bool Simulation::TakeStepsAtPause() {
    const int64_t carry = carry_ms_;
    while (!agenda_.empty()) {
        const Step next = agenda_.front();
        if (next.at_ms && *next.at_ms > d_.os.clock_ms) {
            horizon_ms_ = *next.at_ms;
            return true;
        }
        if (const char* ending = Ending(next.action.kind); ending != nullptr) {
            ended_by_ = ending;
            return false;
        }
        agenda_.pop_front();
        if (next.action.kind == Kind::Wait) {
            const sim::Result<int64_t> end = WaitEnd(next.action);
            bad_wait_ = !end;
            failed_in_pause_ = end ? std::nullopt : std::optional(sim::Status(sim::Fail(end.why())));
            if (end) {
                Note("> " + next.action.text);
                horizon_ms_ = carry_ms_ = *end;
            }
            return static_cast<bool>(end);
        }
        const sim::Status done = Apply(next);
        carry_ms_ = carry;
        if (s_.report) {
            s_.report(TakeReport());
        }
        if (!done) {
            failed_in_pause_ = done;
            return false;
        }
    }
    horizon_ms_ = s_.to_ms;  // nothing more comes: it runs to its end
    return true;
}

}  // namespace devsim
