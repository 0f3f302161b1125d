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

// Reads the access record in order.
struct Cursor {
    const std::vector<sim::IoEvent>& io;
    size_t i = 0;
    bool At(Kind k, uint32_t offset) const {
        return i < io.size() && io[i].kind == k &&
               (k == Kind::KmodeOn || k == Kind::KmodeOff || io[i].offset == offset);
    }
    bool AtCalendar() const {
        return i < io.size() && (io[i].kind == Kind::Read || io[i].kind == Kind::Write) &&
               io[i].offset != RTCCON;
    }
};

// Kernel mode on, RTCCON read, RTCEN set with the other bits kept.
sim::Status OpenBracket(Cursor& c) {
    if (!c.At(Kind::KmodeOn, 0)) {
        return sim::Fail("register access outside a kernel-mode bracket");
    }
    ++c.i;
    if (!c.At(Kind::Read, RTCCON)) {
        return sim::Fail("RTCCON not read first");
    }
    const uint8_t con = c.io[c.i++].value;
    if (!c.At(Kind::Write, RTCCON) || c.io[c.i].value != (con | RTCEN)) {
        return sim::Fail("RTCEN not set with the other RTCCON bits kept");
    }
    ++c.i;
    return sim::Ok();
}

// The year alone, or all seven from the highest offset down, all read or all written.
sim::Status Transfers(Cursor& c, Op& op) {
    int n = 0;
    while (c.AtCalendar()) {
        const bool w = c.io[c.i].kind == Kind::Write;
        if (n == sim::kCalendarCount || c.io[c.i].offset != sim::kCalendarRegisters[n].offset ||
            (n > 0 && w != op.write)) {
            return sim::Fail("calendar registers out of order");
        }
        op.write = w;
        op.regs.*sim::kCalendarRegisters[n++].field = c.io[c.i++].value;
    }
    if (n != 1 && n != sim::kCalendarCount) {
        return sim::Fail(std::to_string(n) + " calendar registers transferred");
    }
    op.full = n == sim::kCalendarCount;
    return sim::Ok();
}

// RTCCON read, RTCEN cleared with the other bits kept, kernel mode off.
sim::Status CloseBracket(Cursor& c) {
    if (!c.At(Kind::Read, RTCCON)) {
        return sim::Fail("RTCCON not read after the transfers");
    }
    const uint8_t con = c.io[c.i++].value;
    if (!c.At(Kind::Write, RTCCON) || c.io[c.i].value != (con & 0xFE)) {
        return sim::Fail("RTCEN not cleared with the other RTCCON bits kept");
    }
    ++c.i;
    if (!c.At(Kind::KmodeOff, 0)) {
        return sim::Fail("kernel mode not given back");
    }
    ++c.i;
    return sim::Ok();
}

// Splits the access record into operations, checking each one's bracket.
sim::Status ParseOps(const std::vector<sim::IoEvent>& io, std::vector<Op>& ops) {
    Cursor c{io};
    while (c.i < io.size()) {
        const std::string where = "operation at access " + std::to_string(c.i) + ": ";
        Op op;
        sim::Status s = OpenBracket(c);
        s = s ? Transfers(c, op) : s;
        s = s ? CloseBracket(c) : s;
        if (!s) {
            return sim::Fail(where + s.why());
        }
        ops.push_back(op);
    }
    return sim::Ok();
}

bool InMinute(const RtcRegisters& r, uint8_t month, uint8_t date) {
    return r.month == month && r.date == date && r.hour == 0x23 && r.min == 0x59;
}

bool Leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The tagged lines of the trace, which must otherwise consist of the two
// dump blocks with their numbers.
sim::Result<std::vector<std::string>> TraceMessages(const std::string& trace) {
    static const std::regex kLine(
        "--------------------- RTCcontent|---------------------|"
        "year:      [0-9a-f]+ \\([0-9]+\\)|(month|date|day|hour|min|sec):( )+[0-9a-f]+|"
        "(Year|Month|Day|Hour|Min|Sec|mSec):( )+[0-9]+|DayOfWeek: [0-9]+|\\[.*\\]( .*)?");
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < trace.size()) {
        const size_t end = trace.find("\r\n", start);
        if (end == std::string::npos) {
            return sim::Fail("trace ends without CR LF");
        }
        const std::string line = trace.substr(start, end - start);
        if (!std::regex_match(line, kLine)) {
            return sim::Fail("foreign trace line '" + line + "'");
        }
        if (line[0] == '[') {
            messages.push_back(line);
        }
        start = end + 2;
    }
    return messages;
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

// A write by nuv28: over a wrong reading, its target with the other five as read.
sim::Status CheckFeb28Write(const RtcRegisters* last, const Op& op, uint8_t tm, uint8_t td) {
    if (last == nullptr || (last->month == 0x02 && last->date == 0x28) ||
        (last->month == tm && last->date == td)) {
        return sim::Fail("nuv28 writes without a wrong reading before it");
    }
    RtcRegisters want = *last;
    want.month = tm;
    want.date = td;
    if (std::memcmp(&want, &op.regs, sizeof want) != 0) {
        return sim::Fail("nuv28 writes something other than its target over the reading");
    }
    return sim::Ok();
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
        } else if (const sim::Status w = CheckFeb28Write(last, op, tm, td); !w) {
            e.error = w.why();
        } else {
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

// A write by nuv29 over the reading `last`: the line it must trace, or what is wrong.
sim::Result<std::string> CheckFeb29Write(const RtcRegisters* last, const Op& op) {
    if (last == nullptr || last->month != 0x02) {
        return sim::Fail("nuv29 writes without a February reading before it");
    }
    RtcRegisters want = *last;
    want.month = 0x03;
    want.date = 0x01;
    std::string message = "[RTC0229] fix date 3-1 (special case)";
    if (last->date == 0x29 && last->hour == 0x23 && last->min == 0x59 && last->sec == 0x59) {
        want.hour = want.min = want.sec = 0x00;
        message = "[RTC0229] fix date 3-1";
    } else if (last->date <= 0x29) {
        return sim::Fail("nuv29 writes over a reading it must leave alone");
    }
    if (std::memcmp(&want, &op.regs, sizeof want) != 0) {
        return sim::Fail("nuv29 writes something other than March 1");
    }
    return message;
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
        const sim::Result<std::string> message = CheckFeb29Write(last, op);
        if (!message) {
            e.error = message.why();
            break;
        }
        e.messages.push_back(*message);
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

namespace {

// nuv and nuv28 open their trace with the snapshot they just read, nuv29 with nothing.
sim::Status CheckDump(const Recording& run, const RtcRegisters& s) {
    if (run.program == Program::Nuv29) {
        return run.trace.find("RTCcontent") == std::string::npos
                   ? sim::Ok()
                   : sim::Fail("nuv29 traces a snapshot");
    }
    const std::string dump =
        "--------------------- RTCcontent\r\nyear:      " + Hex(s.year) + " (" +
        std::to_string(s.year) + ")\r\nmonth:     " + Hex(s.month) + "\r\ndate:      " +
        Hex(s.date) + "\r\nday:       " + Hex(s.day) + "\r\nhour:      " + Hex(s.hour) +
        "\r\nmin:       " + Hex(s.min) + "\r\nsec:       " + Hex(s.sec) +
        "\r\n---------------------\r\n";
    return run.trace.compare(0, dump.size(), dump) == 0
               ? sim::Ok()
               : sim::Fail("the trace does not open with the snapshot read");
}

// The watcher's own lines, then at most the shell's wait from re-arming.
sim::Status CheckMessages(const std::string& trace, const std::vector<std::string>& expected) {
    const sim::Result<std::vector<std::string>> messages = TraceMessages(trace);
    if (!messages) {
        return sim::Fail(messages.why());
    }
    std::vector<std::string> own;
    std::string got;
    for (const std::string& m : *messages) {
        if (m != "[RTC run] IsAPIReady ret FALSE") {
            own.push_back(m);
            got += " '" + m + "'";
        }
    }
    return own == expected
               ? sim::Ok()
               : sim::Fail("trace messages differ from the run's reads and writes:" + got);
}

}  // namespace

sim::Status CheckRun(const Recording& run) {
    if (run.spun) {
        return sim::Fail("the program spins: " +
                         std::to_string(SpinGuard::kMaxWorkAtOneInstant) +
                         " traces and register accesses without the clock moving");
    }
    if (run.violations != 0) {
        return sim::Fail(std::to_string(run.violations) + " access rule violations");
    }
    std::vector<Op> ops;
    if (const sim::Status parsed = ParseOps(run.io, ops); !parsed) {
        return parsed;
    }
    if (ops.empty() || ops[0].write || !ops[0].full) {
        return sim::Fail("the watcher does not start with a snapshot of all seven registers");
    }
    const Expect e = run.program == Program::Nuv     ? CheckYear(ops, run.finished)
                     : run.program == Program::Nuv28 ? CheckFeb28(ops, run.finished)
                                                     : CheckFeb29(ops, run.finished);
    if (!e.error.empty()) {
        return sim::Fail(e.error);
    }
    const sim::Status dump = CheckDump(run, ops[0].regs);
    return dump ? CheckMessages(run.trace, e.messages) : dump;
}

}  // namespace fuzz
