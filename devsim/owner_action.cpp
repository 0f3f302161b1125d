#include "owner_action.h"

#include <cctype>
#include <sstream>

#include "device_state.h"
#include "options.h"

namespace devsim {

const char kOwnerActionsHelp[] = R"help(  install                  tap the cabinet: its files and shortcut appear,
                           the setup library runs (it starts clockfix.exe,
                           which sets all three and shows its box)
  uninstall                Remove Programs: the setup library withdraws the
                           launches, then the files and shortcut go
  copy                     the manual route: the programs' files copied
                           to \Windows (nothing starts)
  start PATH               tap a program or shortcut
                           ("start \Windows\clockfix.exe")
  set-clock [TIME]         Settings, Clock: the RTC set right for TIME, or
                           for the true time; the programs registered for
                           a time change start, then launches due run
  time-zone {+|-}N{min|h}  Settings, Clock: another time zone, the clock
                           moved by that much (at most 26 h); the programs
                           registered for a time zone change start
  wait TIME | wait +N{s|min|h|d}
                           let time pass (devsim owner only); launches
                           run as they fall due, and keep running through
                           the actions after it
  soft-reset               files, launches and the RTC kept
  hard-reset [rtc-kept]    files and launches gone; the RTC set to
  flat-battery [rtc-kept]  2003-01-01 12:00:00, unless it kept time
  delete PATH              File Explorer deletes a file
  reminders N              Calendar, Tasks, alarms and other programs store
                           N notifications more (1 to 4096)
TIME is YYYY-MM-DD HH:MM[:SS], local time.
)help";

namespace {

using Kind = OwnerAction::Kind;

struct Verb {
    const char* name;
    Kind kind;
    enum { None, Path, OptionalTime, Wait, RtcKept, Count, Shift } argument;
};

const Verb kVerbs[] = {
    {"install", Kind::Install, Verb::None},        {"uninstall", Kind::Uninstall, Verb::None},
    {"copy", Kind::Copy, Verb::None},              {"start", Kind::Start, Verb::Path},
    {"set-clock", Kind::SetClock, Verb::OptionalTime}, {"wait", Kind::Wait, Verb::Wait},
    {"soft-reset", Kind::SoftReset, Verb::None},   {"hard-reset", Kind::HardReset, Verb::RtcKept},
    {"flat-battery", Kind::FlatBattery, Verb::RtcKept}, {"delete", Kind::Delete, Verb::Path},
    {"reminders", Kind::Reminders, Verb::Count},  {"time-zone", Kind::TimeZone, Verb::Shift},
};

// "YYYY-MM-DD HH:MM" or with seconds.
sim::Result<sim::DateTime> ActionTime(const std::string& text) {
    return ParseDeviceTime(text.size() == 16 ? text + ":00" : text);
}

// "+3min", "+10s", "+2h", "+1d".
sim::Result<int64_t> WaitSpan(const std::string& text) {
    size_t digits = 1;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) {
        ++digits;
    }
    const std::string unit = text.substr(digits);
    const int64_t scale = unit == "s" ? 1 : unit == "min" ? 60 : unit == "h" ? 3600
                                         : unit == "d"   ? 86400 : 0;
    if (text[0] != '+' || digits == 1 || digits > 7 || scale == 0) {
        return sim::Fail("wait takes TIME or +N with s, min, h or d, not '" + text + "'");
    }
    return std::stoll(text.substr(1, digits - 1)) * scale * sim::kMsPerSecond;
}

// "+1h", "-30min": how far a new time zone moves the clock.
sim::Result<int64_t> ZoneShift(const std::string& text) {
    constexpr int64_t kMostMs = int64_t{26} * 3600 * sim::kMsPerSecond;  // UTC-12 to UTC+14
    const bool back = !text.empty() && text[0] == '-';
    const bool unit = text.size() > 2 && (text.back() == 'h' ||
                                          text.compare(text.size() - 3, 3, "min") == 0);
    const sim::Result<int64_t> span = unit ? WaitSpan("+" + text.substr(1)) : sim::Fail("");
    if (!span || (text[0] != '+' && !back) || *span > kMostMs) {
        return sim::Fail("time-zone takes +N or -N with min or h, at most 26 h, not '" + text + "'");
    }
    return back ? -*span : *span;
}

// "reminders N": from 1 to the store's size.
sim::Status TakeCount(const std::string& what, const std::string& rest, OwnerAction& a) {
    const bool digits = !rest.empty() && rest.size() <= 4 &&
                        rest.find_first_not_of("0123456789") == std::string::npos;
    a.count = digits ? std::stoi(rest) : 0;
    return a.count >= 1 && a.count <= sim::kMaxNotes
               ? sim::Ok()
               : sim::Fail(what + "takes a count from 1 to " + std::to_string(sim::kMaxNotes) +
                           ", not '" + rest + "'");
}

sim::Status TakeArgument(const Verb& verb, const std::string& rest, OwnerAction& a) {
    const std::string what = std::string(verb.name) + " ";
    switch (verb.argument) {
        case Verb::None:
            return rest.empty() ? sim::Ok() : sim::Fail(what + "takes nothing, not '" + rest + "'");
        case Verb::Path:
            a.path = rest;
            return rest.empty() ? sim::Fail(what + "needs a path") : sim::Ok();
        case Verb::RtcKept:
            a.rtc_kept = rest == "rtc-kept";
            return rest.empty() || a.rtc_kept
                       ? sim::Ok()
                       : sim::Fail(what + "takes rtc-kept or nothing, not '" + rest + "'");
        case Verb::Count: return TakeCount(what, rest, a);
        case Verb::Shift: {
            const sim::Result<int64_t> ms = ZoneShift(rest);
            a.wait_ms = ms ? *ms : 0;
            return ms ? sim::Ok() : sim::Fail(ms.why());
        }
        case Verb::Wait:
            if (!rest.empty() && rest[0] == '+') {
                const sim::Result<int64_t> ms = WaitSpan(rest);
                a.wait_ms = ms ? *ms : 0;
                return ms ? sim::Ok() : sim::Fail(ms.why());
            }
            [[fallthrough]];
        default: {
            if (rest.empty() && verb.argument == Verb::OptionalTime) {
                return sim::Ok();
            }
            const sim::Result<sim::DateTime> t = ActionTime(rest);
            a.time = t ? std::optional<sim::DateTime>(*t) : std::nullopt;
            return t ? sim::Ok() : sim::Fail(what + t.why());
        }
    }
}

// The line without its comment and the blanks around it: "#" at the
// line's start or after a blank starts one (a path may hold "#" itself).
std::string WithoutComment(std::string line) {
    for (size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1)) {
        if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') {
            line.resize(at);
            break;
        }
    }
    const size_t first = line.find_first_not_of(" \t\r");
    const size_t last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : line.substr(first, last - first + 1);
}

}  // namespace

sim::Result<OwnerAction> ParseOwnerAction(const std::string& text) {
    const size_t space = text.find(' ');
    const std::string name = text.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : text.substr(space + 1);
    for (const Verb& verb : kVerbs) {
        if (name == verb.name) {
            OwnerAction a{verb.kind, "", std::nullopt, 0, false, 0, text};
            if (const sim::Status taken = TakeArgument(verb, rest, a); !taken) {
                return sim::Fail(taken.why());
            }
            return a;
        }
    }
    return sim::Fail("'" + name + "' is not an owner's action (see devsim help owner)");
}

sim::Result<std::vector<OwnerEvent>> ParseEvents(const std::string& text) {
    std::vector<OwnerEvent> events;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string where = "line " + std::to_string(number) + ": ";
        line = WithoutComment(line);
        if (line.empty()) {
            continue;
        }
        const size_t time_end = line.find(' ', 11);
        const sim::Result<sim::DateTime> at = ActionTime(line.substr(0, time_end));
        if (!at || time_end == std::string::npos) {
            return sim::Fail(where + (at ? "no action after the time" : at.why()));
        }
        const sim::Result<OwnerAction> action = ParseOwnerAction(line.substr(time_end + 1));
        if (!action || action->kind == Kind::Wait) {
            return sim::Fail(where + (action ? "wait has no place in an event list: the "
                                               "times say when"
                                             : action.why()));
        }
        if (!events.empty() && sim::ToMs(*at) < sim::ToMs(events.back().at)) {
            return sim::Fail(where + "the events are not in time order");
        }
        events.push_back({*at, *action});
    }
    return events;
}

}  // namespace devsim
