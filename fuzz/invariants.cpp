#include "invariants.h"

#include "registers.h"

#include <cstdio>
#include <cstring>
#include <regex>

namespace fuzz {

namespace {

using Kind = sim::IoEvent::Kind;

// One register operation, from kernel mode on to kernel mode off.
struct Op {
    bool write = false;
    bool full = false;  // all seven registers, else the year alone
    RtcRegisters regs{};
};


std::string Hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

// Splits the access record into operations, checking each one's bracket:
// kernel mode on, RTCEN set with the other bits kept, the transfers from the
// highest offset down, RTCEN cleared, kernel mode back off.
std::string ParseOps(const std::vector<sim::IoEvent>& io, std::vector<Op>& ops) {
    size_t i = 0;
    auto at = [&](Kind k, uint32_t offset) {
        return i < io.size() && io[i].kind == k &&
               (k == Kind::KmodeOn || k == Kind::KmodeOff || io[i].offset == offset);
    };
    while (i < io.size()) {
        const size_t start = i;
        const std::string where = "operation at access " + std::to_string(start);
        if (!at(Kind::KmodeOn, 0)) {
            return where + ": register access outside a kernel-mode bracket";
        }
        ++i;
        if (!at(Kind::Read, RTCCON)) {
            return where + ": RTCCON not read first";
        }
        const uint8_t con = io[i++].value;
        if (!at(Kind::Write, RTCCON) || io[i].value != (con | RTCEN)) {
            return where + ": RTCEN not set with the other RTCCON bits kept";
        }
        ++i;
        Op op;
        int n = 0;
        while (i < io.size() && (io[i].kind == Kind::Read || io[i].kind == Kind::Write) &&
               io[i].offset != RTCCON) {
            const bool w = io[i].kind == Kind::Write;
            if (n == sim::kCalendarCount || io[i].offset != sim::kCalendarRegisters[n].offset ||
                (n > 0 && w != op.write)) {
                return where + ": calendar registers out of order";
            }
            op.write = w;
            op.regs.*sim::kCalendarRegisters[n++].field = io[i++].value;
        }
        if (n != 1 && n != sim::kCalendarCount) {
            return where + ": " + std::to_string(n) + " calendar registers transferred";
        }
        op.full = n == sim::kCalendarCount;
        if (!at(Kind::Read, RTCCON)) {
            return where + ": RTCCON not read after the transfers";
        }
        const uint8_t con2 = io[i++].value;
        if (!at(Kind::Write, RTCCON) || io[i].value != (con2 & 0xFE)) {
            return where + ": RTCEN not cleared with the other RTCCON bits kept";
        }
        ++i;
        if (!at(Kind::KmodeOff, 0)) {
            return where + ": kernel mode not given back";
        }
        ++i;
        ops.push_back(op);
    }
    return {};
}

bool InMinute(const RtcRegisters& r, uint8_t month, uint8_t date) {
    return r.month == month && r.date == date && r.hour == 0x23 && r.min == 0x59;
}

bool Leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The tagged lines of the trace, which must otherwise consist of the two
// dump blocks with their numbers.
std::string CheckTraceShape(const std::string& trace, std::vector<std::string>& messages) {
    static const std::regex kLine(
        "--------------------- RTCcontent|---------------------|"
        "year:      [0-9a-f]+ \\([0-9]+\\)|(month|date|day|hour|min|sec):( )+[0-9a-f]+|"
        "(Year|Month|Day|Hour|Min|Sec|mSec):( )+[0-9]+|DayOfWeek: [0-9]+|\\[.*\\]( .*)?");
    size_t start = 0;
    while (start < trace.size()) {
        const size_t end = trace.find("\r\n", start);
        if (end == std::string::npos) {
            return "trace ends without CR LF";
        }
        const std::string line = trace.substr(start, end - start);
        if (!std::regex_match(line, kLine)) {
            return "foreign trace line '" + line + "'";
        }
        if (line[0] == '[') {
            messages.push_back(line);
        }
        start = end + 2;
    }
    return {};
}

struct Expect {
    std::vector<std::string> messages;
    std::string error;
};

Expect CheckYear(const std::vector<Op>& ops, bool finished) {
    Expect e;
    const uint8_t old = ops[0].regs.year;
    const auto next = static_cast<uint8_t>(old + 1);
    if (!InMinute(ops[0].regs, 0x12, 0x31)) {
        return e;
    }
    bool ended = false;
    int last = -1;  // year of the pass's read, until a write uses it
    for (size_t i = 1; i < ops.size(); ++i) {
        const Op& op = ops[i];
        if (op.full) {
            e.error = "nuv transfers more than the year register";
        } else if (!op.write) {
            if (ended) {
                e.error = "nuv reads on after the year showed " + Hex(next);
            }
            last = op.regs.year;
            ended = last == next;
        } else if (op.regs.year != next) {
            e.error = "nuv writes year " + Hex(op.regs.year) + ", not " + Hex(next);
        } else if (last < 0 || last == old || last == next) {
            e.error = "nuv writes the year without a foreign reading before it";
        } else {
            e.messages.push_back("[RTC] fix year " + Hex(next) + " (" + std::to_string(next) + ")");
            last = -1;
        }
        if (!e.error.empty()) {
            return e;
        }
    }
    if (finished && !ended) {
        e.error = "nuv's watch ended before the year read " + Hex(next);
    }
    if (ended) {
        e.messages.emplace_back("[RTC] Fix OK");
    }
    return e;
}

Expect CheckFeb28(const std::vector<Op>& ops, bool finished) {
    Expect e;
    const bool leap = Leap(YEAR_BASE + ops[0].regs.year);
    const uint8_t tm = leap ? 0x02 : 0x03;
    const uint8_t td = leap ? 0x29 : 0x01;
    e.messages.push_back(std::string("[RTC0228] is leap year = ") + (leap ? "1" : "0"));
    if (!InMinute(ops[0].regs, 0x02, 0x28)) {
        return e;
    }
    bool ended = false;
    const RtcRegisters* last = nullptr;
    for (size_t i = 1; i < ops.size() && e.error.empty(); ++i) {
        const Op& op = ops[i];
        if (!op.full) {
            e.error = "nuv28 transfers the year register alone";
        } else if (!op.write) {
            if (ended) {
                e.error = "nuv28 reads on after reaching its target";
            }
            last = &op.regs;
            ended = op.regs.month == tm && op.regs.date == td;
        } else if (last == nullptr || (last->month == 0x02 && last->date == 0x28) ||
                   (last->month == tm && last->date == td)) {
            e.error = "nuv28 writes without a wrong reading before it";
        } else {
            RtcRegisters want = *last;
            want.month = tm;
            want.date = td;
            if (std::memcmp(&want, &op.regs, sizeof want) != 0) {
                e.error = "nuv28 writes something other than its target over the reading";
            }
            e.messages.push_back("[RTC0228] fix date " + Hex(tm) + "-" + Hex(td));
            last = nullptr;
        }
    }
    if (e.error.empty() && finished && !ended) {
        e.error = "nuv28's watch ended before reaching its target";
    }
    if (ended) {
        e.messages.emplace_back("[RTC0228] Fix OK");
    }
    return e;
}

Expect CheckFeb29(const std::vector<Op>& ops, bool finished) {
    Expect e;
    if (!InMinute(ops[0].regs, 0x02, 0x29)) {
        return e;
    }
    bool ended = false;
    const RtcRegisters* last = nullptr;
    for (size_t i = 1; i < ops.size() && e.error.empty(); ++i) {
        const Op& op = ops[i];
        if (!op.full) {
            e.error = "nuv29 transfers the year register alone";
            break;
        }
        if (!op.write) {
            if (ended) {
                e.error = "nuv29 reads on after the clock left February 29";
            }
            last = &op.regs;
            ended = op.regs.month != 0x02 && op.regs.date != 0x29;
            continue;
        }
        if (last == nullptr || last->month != 0x02) {
            e.error = "nuv29 writes without a February reading before it";
            break;
        }
        RtcRegisters want = *last;
        want.month = 0x03;
        want.date = 0x01;
        if (last->date == 0x29 && last->hour == 0x23 && last->min == 0x59 && last->sec == 0x59) {
            want.hour = want.min = want.sec = 0x00;
            e.messages.emplace_back("[RTC0229] fix date 3-1");
        } else if (last->date > 0x29) {
            e.messages.emplace_back("[RTC0229] fix date 3-1 (special case)");
        } else {
            e.error = "nuv29 writes over a reading it must leave alone";
            break;
        }
        if (std::memcmp(&want, &op.regs, sizeof want) != 0) {
            e.error = "nuv29 writes something other than March 1";
        }
        last = nullptr;
    }
    if (e.error.empty() && finished && !ended) {
        e.error = "nuv29's watch ended while the clock still showed February 29";
    }
    if (ended) {
        e.messages.emplace_back("[RTC0229] Fix OK");
    }
    return e;
}

}  // namespace

std::string CheckRun(const Recording& run) {
    if (run.spun) {
        return "the program spins: " + std::to_string(SpinGuard::kMaxWorkAtOneInstant) +
               " traces and register accesses without the clock moving";
    }
    if (run.violations != 0) {
        return std::to_string(run.violations) + " access rule violations";
    }
    std::vector<Op> ops;
    std::string error = ParseOps(run.io, ops);
    if (!error.empty()) {
        return error;
    }
    if (ops.empty() || ops[0].write || !ops[0].full) {
        return "the watcher does not start with a snapshot of all seven registers";
    }
    const Expect e = run.program == Program::Nuv     ? CheckYear(ops, run.finished)
                     : run.program == Program::Nuv28 ? CheckFeb28(ops, run.finished)
                                                     : CheckFeb29(ops, run.finished);
    if (!e.error.empty()) {
        return e.error;
    }
    // nuv and nuv28 open with the snapshot they just read, nuv29 with nothing.
    if (run.program != Program::Nuv29) {
        const RtcRegisters& s = ops[0].regs;
        const std::string dump =
            "--------------------- RTCcontent\r\nyear:      " + Hex(s.year) + " (" +
            std::to_string(s.year) + ")\r\nmonth:     " + Hex(s.month) + "\r\ndate:      " +
            Hex(s.date) + "\r\nday:       " + Hex(s.day) + "\r\nhour:      " + Hex(s.hour) +
            "\r\nmin:       " + Hex(s.min) + "\r\nsec:       " + Hex(s.sec) +
            "\r\n---------------------\r\n";
        if (run.trace.compare(0, dump.size(), dump) != 0) {
            return "the trace does not open with the snapshot read";
        }
    } else if (run.trace.find("RTCcontent") != std::string::npos) {
        return "nuv29 traces a snapshot";
    }
    std::vector<std::string> messages;
    error = CheckTraceShape(run.trace, messages);
    if (!error.empty()) {
        return error;
    }
    // The watcher's own lines, then at most the shell's wait from re-arming.
    std::vector<std::string> own;
    for (const std::string& m : messages) {
        if (m != "[RTC run] IsAPIReady ret FALSE") {
            own.push_back(m);
        }
    }
    if (own != e.messages) {
        std::string got;
        for (const std::string& m : own) {
            got += " '" + m + "'";
        }
        return "trace messages differ from the run's reads and writes:" + got;
    }
    return {};
}

}  // namespace fuzz
