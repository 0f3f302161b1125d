#include "options.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "fixers.h"
#include "registers.h"

namespace devsim {

std::string ArgReader::Next() {
    inline_value_.reset();
    std::string arg = args_[pos_++];
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        inline_value_ = arg.substr(eq + 1);
        arg.resize(eq);
    }
    return arg;
}

void ArgReader::NoValue(const std::string& flag, std::string& error) const {
    if (inline_value_) {
        error = flag + " takes no value, not '" + *inline_value_ + "'";
    }
}

std::string ArgReader::Value(const std::string& option, std::string& error) {
    if (inline_value_) {
        std::string v = *inline_value_;
        inline_value_.reset();
        return v;
    }
    if (Done()) {
        error = option + " needs a value";
        return {};
    }
    return args_[pos_++];
}

bool ParseHexByte(const std::string& text, uint8_t& out) {
    if (text.empty() || text.size() > 2) {
        return false;
    }
    unsigned v = 0;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) != 0
                                               ? c - '0'
                                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    out = static_cast<uint8_t>(v);
    return true;
}

bool ParseCount(const std::string& text, int64_t max, int64_t& out) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    int64_t v = 0;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    if (v > max) {
        return false;
    }
    out = v;
    return true;
}

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) {
            return parts;
        }
        start = at + 1;
    }
}

}  // namespace

bool ParseRegs(const std::string& text, RtcRegisters& out, std::string& why) {
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.size() != 7) {
        why = "--regs takes 7 hex bytes YY,MO,DW,DT,HH,MI,SS, not '" + text + "'";
        return false;
    }
    RtcRegisters regs{};
    for (int i = 0; i < sim::kCalendarCount; ++i) {
        const sim::CalendarRegister& reg = sim::kCalendarRegisters[i];
        if (!ParseHexByte(parts[static_cast<size_t>(i)], regs.*reg.field)) {
            why = "--regs: '" + parts[static_cast<size_t>(i)] + "' is not a hex byte (" +
                  reg.field_name + ")";
            return false;
        }
    }
    out = regs;
    return true;
}

bool ParseMidnight(const std::string& text, sim::MidnightFault& out, std::string& why) {
    sim::MidnightFault fault;
    for (const std::string& item : Split(text, ',')) {
        const size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        int index = -1;
        for (int i = 0; i < sim::kCalendarCount; ++i) {
            if (name == sim::kCalendarRegisters[i].field_name) {
                index = i;
            }
        }
        if (eq == std::string::npos || index < 0) {
            why = "--midnight: '" + item +
                  "' is not REG=HEX with REG one of year month day date hour min sec";
            return false;
        }
        if (!ParseHexByte(item.substr(eq + 1), fault.value[index])) {
            why = "--midnight: '" + item.substr(eq + 1) + "' is not a hex byte";
            return false;
        }
        fault.mask = static_cast<uint8_t>(fault.mask | (1U << index));
    }
    out = fault;
    return true;
}

bool ParseDeviceTime(const std::string& text, sim::DateTime& out, std::string& why) {
    if (!sim::ParseDateTime(text, out, why)) {
        return false;
    }
    if (out.year < kFirstYear || out.year > kLastYear) {
        why = "'" + text + "' is outside the years 1950 to 2205 that the year register holds";
        return false;
    }
    return true;
}

bool ParseHw(const std::string& text, sim::Hw& out) {
    if (text == "chip") {
        out = sim::Hw::Chip;
    } else if (text == "correct") {
        out = sim::Hw::Correct;
    } else {
        return false;
    }
    return true;
}

std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args,
                                          std::string& error) {
    RunOptions o;
    bool have_at = false;
    ArgReader in(args);
    while (!in.Done() && error.empty()) {
        const std::string arg = in.Next();
        if (arg.rfind("--", 0) != 0) {
            if (!o.program.empty()) {
                error = "unexpected argument '" + arg + "'";
            } else if (sim::FixerIndex(arg) < 0) {
                error = "unknown program '" + arg + "' (nuv, nuv28 or nuv29)";
            }
            o.program = arg;
            continue;
        }
        if (arg == "--arm" || arg == "--ignore-writes" || arg == "--io") {
            in.NoValue(arg, error);
        }
        if (arg == "--arm") {
            o.arm = true;
            continue;
        }
        if (arg == "--ignore-writes" || arg == "--io") {
            (arg == "--io" ? o.device.io_trace : o.device.ignore_writes) = true;
            o.device_set = o.device_set || arg == "--ignore-writes";
            continue;
        }
        static const char* const kValued[] = {"--at", "--regs", "--hw", "--midnight",
                                              "--shell-after", "--limit", "--state"};
        if (std::find(std::begin(kValued), std::end(kValued), arg) == std::end(kValued)) {
            error = "unknown option '" + arg + "'";
            break;
        }
        std::string why;
        int64_t n = 0;
        const std::string v = in.Value(arg, error);
        if (!error.empty()) {
            break;
        }
        o.device_set = o.device_set || arg == "--at" || arg == "--regs" || arg == "--hw" ||
                       arg == "--midnight";
        if (arg == "--state") {
            o.state_file = v;
            if (v.empty()) {
                why = "--state needs a file name";
            }
        } else if (arg == "--at") {
            have_at = ParseDeviceTime(v, o.device.at, why);
        } else if (arg == "--regs") {
            o.device.regs_given = ParseRegs(v, o.device.regs, why);
        } else if (arg == "--hw") {
            if (!ParseHw(v, o.device.hw)) {
                why = "--hw takes chip or correct, not '" + v + "'";
            }
        } else if (arg == "--midnight") {
            ParseMidnight(v, o.device.fault, why);
        } else if (arg == "--shell-after" || arg == "--limit") {
            const int64_t least = arg == "--limit" ? 1 : 0;
            if (!ParseCount(v, sim::kMaxRunSeconds, n) || n < least) {
                why = arg + " takes " + std::to_string(least) + " to " +
                      std::to_string(sim::kMaxRunSeconds) + " seconds, not '" + v + "'";
            }
            (arg == "--limit" ? o.device.limit_s : o.device.shell_after_s) = n;
        }
        error = why;
    }
    if (error.empty() && o.program.empty()) {
        error = "run needs a program: nuv, nuv28 or nuv29";
    }
    if (!have_at) {
        o.device.at = sim::HostLocalTime();
    }
    if (error.empty() && have_at && o.device.regs_given) {
        error = "--at and --regs both set the clock; give one of them";
    }
    if (!error.empty()) {
        return std::nullopt;
    }
    return o;
}

}  // namespace devsim

namespace devsim {

std::optional<YearsOptions> ParseYearsOptions(const std::vector<std::string>& args,
                                              std::string& error) {
    YearsOptions o;
    ArgReader in(args);
    while (!in.Done() && error.empty()) {
        const std::string arg = in.Next();
        if (arg == "--quiet" || arg == "--arm") {
            in.NoValue(arg, error);
            (arg == "--quiet" ? o.quiet : o.arm) = true;
            continue;
        }
        static const char* const kValued[] = {"--from", "--to", "--hw", "--launch-delay",
                                              "--disable"};
        if (std::find(std::begin(kValued), std::end(kValued), arg) == std::end(kValued)) {
            error = arg.rfind("--", 0) == 0 ? "unknown option '" + arg + "'"
                                            : "unexpected argument '" + arg + "'";
            break;
        }
        const std::string v = in.Value(arg, error);
        if (!error.empty()) {
            break;
        }
        std::string why;
        if (arg == "--from" || arg == "--to") {
            ParseDeviceTime(v, arg == "--from" ? o.from : o.to, why);
            if (!why.empty()) {
                why = arg + ": " + why;
            }
        } else if (arg == "--hw") {
            if (!ParseHw(v, o.hw)) {
                why = "--hw takes chip or correct, not '" + v + "'";
            }
        } else if (arg == "--launch-delay") {
            if (!ParseCount(v, 600000, o.launch_delay_ms)) {
                why = "--launch-delay takes milliseconds from 0 to 600000, not '" + v + "'";
            }
        } else {
            const int p = sim::FixerIndex(v);
            if (p < 0) {
                why = "--disable takes nuv, nuv28 or nuv29, not '" + v + "'";
            } else {
                o.disabled[p] = true;
            }
        }
        error = why;
    }
    if (error.empty() && sim::ToMs(o.to) <= sim::ToMs(o.from)) {
        error = "--to (" + sim::FormatDateTime(o.to) + ") must be after --from (" +
                sim::FormatDateTime(o.from) + ")";
    }
    if (!error.empty()) {
        return std::nullopt;
    }
    return o;
}

}  // namespace devsim
