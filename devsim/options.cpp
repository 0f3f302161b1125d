#include "options.h"

#include <cctype>
#include <optional>

#include "fd_io.h"
#include "registers.h"

namespace devsim {

sim::Result<sim::DateTime> ParseDeviceTime(const std::string& text) {
    const sim::Result<sim::DateTime> parsed = sim::ParseDateTime(text);
    if (!parsed) {
        return parsed;
    }
    const sim::DateTime t = *parsed;
    if (t.year < kFirstYear || t.year > kLastYear) {
        return sim::Fail("'" + text + "' is not in the years 1950 to 2205");
    }
    return t;
}

namespace {

using sim::Fail;
using sim::Ok;
using sim::Result;
using sim::Status;

// Reads an option list of the form `--name value` or `--name=value`.
class ArgReader {
public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
    bool Done() const { return pos_ >= args_.size(); }

    // The next argument; for `--name=value`, `--name`, the value kept aside.
    std::string Next() {
        inline_value_.reset();
        std::string arg = args_[pos_++];
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value_ = arg.substr(eq + 1);
            arg.resize(eq);
        }
        return arg;
    }

    // The value of the option just read.
    Result<std::string> Value(const std::string& option) {
        if (inline_value_) {
            return *inline_value_;
        }
        if (Done()) {
            return Fail(option + " needs a value");
        }
        return args_[pos_++];
    }

    // For a flag just read: it was not given `--flag=value`.
    Status NoValue(const std::string& flag) const {
        if (inline_value_) {
            return Fail(flag + " takes no value, not '" + *inline_value_ + "'");
        }
        return Ok();
    }

private:
    const std::vector<std::string>& args_;
    size_t pos_ = 0;
    std::optional<std::string> inline_value_;
};

// One option of a command: its name, whether it takes a value, whether it
// sets up a device (which an existing --state device refuses), and what it
// does with its value.
template <typename Options>
struct OptionEntry {
    const char* name;
    bool takes_value;
    bool sets_up_device;
    Status (*apply)(const std::string& value, Options& o);
};

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

std::optional<uint8_t> HexByte(const std::string& text) {
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    unsigned v = 0;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isxdigit(u) == 0) {
            return std::nullopt;
        }
        const int digit = std::isdigit(u) != 0 ? c - '0' : std::tolower(u) - 'a' + 10;
        v = v * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<uint8_t>(v);
}

// A whole number from `least` to `most`; the message names the range.
Result<int64_t> Count(const std::string& option, const std::string& text, int64_t least,
                      int64_t most, const char* unit) {
    int64_t v = 0;
    bool digits = !text.empty() && text.size() <= 12;
    for (const char c : text) {
        digits = digits && std::isdigit(static_cast<unsigned char>(c)) != 0;
        v = digits ? v * 10 + (c - '0') : v;
    }
    if (!digits || v < least || v > most) {
        return Fail(option + " takes " + std::to_string(least) + " to " + std::to_string(most) +
                    " " + unit + ", not '" + text + "'");
    }
    return v;
}

Result<RtcRegisters> Regs(const std::string& text) {
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.size() != static_cast<size_t>(sim::kCalendarCount)) {
        return Fail("--regs takes 7 hex bytes YY,MO,DW,DT,HH,MI,SS, not '" + text + "'");
    }
    RtcRegisters regs{};
    for (size_t i = 0; i < parts.size(); ++i) {
        const sim::CalendarRegister& reg = sim::kCalendarRegisters[i];
        const std::optional<uint8_t> byte = HexByte(parts[i]);
        if (!byte) {
            return Fail("--regs: '" + parts[i] + "' is not a hex byte (" + reg.field_name + ")");
        }
        regs.*reg.field = *byte;
    }
    return regs;
}

Result<sim::MidnightFault> Midnight(const std::string& text) {
    sim::MidnightFault fault;
    for (const std::string& item : Split(text, ',')) {
        const size_t eq = item.find('=');
        int index = -1;
        for (int i = 0; i < sim::kCalendarCount; ++i) {
            index = item.substr(0, eq) == sim::kCalendarRegisters[i].field_name ? i : index;
        }
        if (eq == std::string::npos || index < 0) {
            return Fail("--midnight: '" + item +
                        "' is not REG=HEX (year month day date hour min sec)");
        }
        const std::optional<uint8_t> byte = HexByte(item.substr(eq + 1));
        if (!byte) {
            return Fail("--midnight: '" + item.substr(eq + 1) + "' is not a hex byte");
        }
        fault.value[index] = *byte;
        fault.mask = static_cast<uint8_t>(fault.mask | (1U << index));
    }
    return fault;
}

Result<sim::Hw> Hardware(const std::string& text) {
    if (text == "chip" || text == "correct") {
        return text == "chip" ? sim::Hw::Chip : sim::Hw::Correct;
    }
    return Fail("--hw takes chip or correct, not '" + text + "'");
}

// Stores a parsed value into `out`, or passes its failure on.
template <typename T>
Status Store(const Result<T>& r, T& out) {
    if (!r) {
        return Fail(r.why());
    }
    out = *r;
    return Ok();
}

Status Set(bool& flag) {
    flag = true;
    return Ok();
}

template <typename T>
Status Store(const Result<T>& r, T& out, bool& given) {
    given = static_cast<bool>(r);
    return Store(r, out);
}

const OptionEntry<RunOptions> kRunOptions[] = {
    {"--at", true, true,
     [](const std::string& v, RunOptions& o) {
         return Store(ParseDeviceTime(v), o.device.at, o.at_given);
     }},
    {"--regs", true, true,
     [](const std::string& v, RunOptions& o) {
         return Store(Regs(v), o.device.regs, o.device.regs_given);
     }},
    {"--hw", true, true,
     [](const std::string& v, RunOptions& o) { return Store(Hardware(v), o.device.hw); }},
    {"--midnight", true, true,
     [](const std::string& v, RunOptions& o) { return Store(Midnight(v), o.device.fault); }},
    {"--ignore-writes", false, true,
     [](const std::string&, RunOptions& o) { return Set(o.device.ignore_writes); }},
    {"--shell-after", true, false,
     [](const std::string& v, RunOptions& o) {
         return Store(Count("--shell-after", v, 0, sim::kMaxRunSeconds, "seconds"),
                      o.device.shell_after_s);
     }},
    {"--limit", true, false,
     [](const std::string& v, RunOptions& o) {
         return Store(Count("--limit", v, 1, sim::kMaxRunSeconds, "seconds"), o.device.limit_s);
     }},
    {"--io", false, false,
     [](const std::string&, RunOptions& o) { return Set(o.device.io_trace); }},
    {"--arm", false, false, [](const std::string&, RunOptions& o) { return Set(o.arm); }},
    {"--state", true, false,
     [](const std::string& v, RunOptions& o) {
         return Store(v.empty() ? Result<std::string>(Fail("--state needs a file name"))
                                : Result<std::string>(v),
                      o.state_file);
     }},
};

Status RunProgramArgument(const std::string& arg, RunOptions& o) {
    if (!o.program.empty()) {
        return Fail("unexpected argument '" + arg + "'");
    }
    if (sim::FixerIndex(arg) < 0) {
        return Fail("unknown program '" + arg + "': PROGRAM is " + sim::FixerNames("or"));
    }
    o.program = arg;
    return Ok();
}

// The event list in file `path`.
Result<std::vector<OwnerEvent>> Events(const std::string& path) {
    constexpr size_t kMaxEventFile = 1 << 20;
    const Result<std::vector<uint8_t>> bytes = sim::ReadRegularFile(path, kMaxEventFile);
    if (!bytes) {
        return Fail("--events: " + bytes.why());
    }
    const Result<std::vector<OwnerEvent>> events =
        ParseEvents(std::string(bytes->begin(), bytes->end()));
    return events ? events : Fail("--events: " + path + ", " + events.why());
}

const OptionEntry<YearsOptions> kYearsOptions[] = {
    {"--from", true, false,
     [](const std::string& v, YearsOptions& o) {
         const Result<sim::DateTime> t = ParseDeviceTime(v);
         return t ? Store(t, o.from) : Fail("--from: " + t.why());
     }},
    {"--to", true, false,
     [](const std::string& v, YearsOptions& o) {
         const Result<sim::DateTime> t = ParseDeviceTime(v);
         return t ? Store(t, o.to) : Fail("--to: " + t.why());
     }},
    {"--hw", true, false,
     [](const std::string& v, YearsOptions& o) { return Store(Hardware(v), o.hw); }},
    {"--launch-delay", true, false,
     [](const std::string& v, YearsOptions& o) {
         return Store(Count("--launch-delay", v, 0, 600000, "milliseconds"), o.launch_delay_ms);
     }},
    {"--disable", true, false,
     [](const std::string& v, YearsOptions& o) {
         const int p = sim::FixerIndex(v);
         return p < 0 ? Fail("--disable takes " + sim::FixerNames("or") + ", not '" + v + "'")
                      : Set(o.disabled[p]);
     }},
    {"--quiet", false, false, [](const std::string&, YearsOptions& o) { return Set(o.quiet); }},
    {"--arm", false, false, [](const std::string&, YearsOptions& o) { return Set(o.arm); }},
    {"--events", true, false,
     [](const std::string& v, YearsOptions& o) { return Store(Events(v), o.events); }},
};

const OptionEntry<OwnerOptions> kOwnerOptions[] = {
    {"--state", true, false,
     [](const std::string& v, OwnerOptions& o) {
         return Store(v.empty() ? Result<std::string>(Fail("--state needs a file name"))
                                : Result<std::string>(v),
                      o.state_file);
     }},
    {"--at", true, true,
     [](const std::string& v, OwnerOptions& o) { return Store(ParseDeviceTime(v), o.device.at); }},
    {"--hw", true, true,
     [](const std::string& v, OwnerOptions& o) { return Store(Hardware(v), o.device.hw); }},
    {"--store", true, true,
     [](const std::string& v, OwnerOptions& o) -> Status {
         const std::optional<sim::StoreSetup> store = sim::ParseStoreSettings(v);
         if (!store) {
             return Fail("--store takes " + std::string(sim::kStoreSettingsHelp) + ", not '" + v +
                         "'");
         }
         o.device.store = store->settings;
         o.device.notes = store->empty ? 0 : o.device.notes;
         return Ok();
     }},
    {"--arm", false, false, [](const std::string&, OwnerOptions& o) { return Set(o.arm); }},
};

Status OwnerArgument(const std::string& arg, OwnerOptions& o) {
    const Result<OwnerAction> action = ParseOwnerAction(arg);
    if (!action) {
        return Fail(action.why());
    }
    o.actions.push_back(*action);
    return Ok();
}

Status YearsArgument(const std::string& arg, YearsOptions&) {
    return Fail("unexpected argument '" + arg + "'");
}

void MarkDeviceSet(RunOptions& o) {
    o.device_set = true;
}
void MarkDeviceSet(YearsOptions&) {}
void MarkDeviceSet(OwnerOptions& o) {
    o.device_set = true;
}

// Applies one option, its value read from `in` when it takes one.
template <typename Options>
Status ApplyOption(const OptionEntry<Options>& entry, const std::string& arg, ArgReader& in,
                   Options& o) {
    Result<std::string> value = std::string();
    if (entry.takes_value) {
        value = in.Value(arg);
    } else if (const Status flag = in.NoValue(arg); !flag) {
        return flag;
    }
    if (!value) {
        return Fail(value.why());
    }
    if (entry.sets_up_device) {
        MarkDeviceSet(o);
    }
    return entry.apply(*value, o);
}

// The one loop over a command's arguments.
template <typename Options, size_t N>
Status Parse(const OptionEntry<Options> (&table)[N],
             Status (*positional)(const std::string&, Options&),
             const std::vector<std::string>& args, Options& o) {
    ArgReader in(args);
    while (!in.Done()) {
        const std::string arg = in.Next();
        const OptionEntry<Options>* entry = nullptr;
        for (const OptionEntry<Options>& s : table) {
            entry = arg == s.name ? &s : entry;
        }
        // Anything that starts with "-" is an option (no program's name does),
        // so "-q" is refused like any other unknown option.
        const bool option = arg.size() > 1 && arg[0] == '-';
        const Status done = !option           ? positional(arg, o)
                            : entry == nullptr ? Fail("unknown option '" + arg + "'")
                                              : ApplyOption(*entry, arg, in, o);
        if (!done) {
            return done;
        }
    }
    return Ok();
}

}  // namespace

Result<RunOptions> ParseRunOptions(const std::vector<std::string>& args) {
    RunOptions o;
    const Status parsed = Parse(kRunOptions, RunProgramArgument, args, o);
    if (!parsed) {
        return Fail(parsed.why());
    }
    if (o.program.empty()) {
        return Fail("run needs a program: " + sim::FixerNames("or"));
    }
    if (o.at_given && o.device.regs_given) {
        return Fail("--at and --regs both set the clock; give one of them");
    }
    if (!o.at_given) {
        o.device.at = sim::HostLocalTime();
    }
    return o;
}

Result<YearsOptions> ParseYearsOptions(const std::vector<std::string>& args) {
    YearsOptions o;
    const Status parsed = Parse(kYearsOptions, YearsArgument, args, o);
    if (!parsed) {
        return Fail(parsed.why());
    }
    if (sim::ToMs(o.to) <= sim::ToMs(o.from)) {
        return Fail("--to (" + sim::FormatDateTime(o.to) + ") must be after --from (" +
                    sim::FormatDateTime(o.from) + ")");
    }
    for (const OwnerEvent& e : o.events) {
        // Nothing at or past --to is simulated, so an event then would do nothing.
        if (sim::ToMs(e.at) < sim::ToMs(o.from) || sim::ToMs(e.at) >= sim::ToMs(o.to)) {
            return Fail("--events: '" + e.action.text + "' at " + sim::FormatDateTime(e.at) +
                        " is outside the span, from --from up to but not at --to");
        }
    }
    return o;
}

Result<OwnerOptions> ParseOwnerOptions(const std::vector<std::string>& args) {
    OwnerOptions o;
    o.device.at = sim::HostLocalTime();
    const Status parsed = Parse(kOwnerOptions, OwnerArgument, args, o);
    if (!parsed) {
        return Fail(parsed.why());
    }
    if (o.state_file.empty()) {
        return Fail("owner needs --state FILE: the device the owner's hands act on");
    }
    return o;
}

}  // namespace devsim
