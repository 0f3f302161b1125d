#include "harness.h"

#include "fixers.h"
#include "registers.h"

#include <csetjmp>
#include <vector>

#include "host_platform.h"
#include "rearm.h"
#include "watch_feb28.h"
#include "watch_feb29.h"
#include "watch_year.h"

namespace fuzz {

namespace {

// Bytes of the input, then zeros.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    bool More() const { return pos < size; }
};

#define FUZZ_WATCHER(name, dir, watcher, month, date, path) watcher,
const Watcher kWatchers[] = {FIXER_PROGRAMS(FUZZ_WATCHER)};
#undef FUZZ_WATCHER

std::jmp_buf g_limit;
volatile bool g_finished = false;

// The watcher, then re-arming, until the device's limit stops them.
void RunToLimit(Watcher watcher) {
    g_finished = false;
    if (setjmp(g_limit) == 0) {
        watcher();
        g_finished = true;
        RearmFixers();
    }
}

// The device an input describes: the starting registers (any bytes; most
// inputs place them in the watcher's minute), the calendar, dropped writes,
// the shell's delay, a midnight fault, and glitches at later reads.
sim::DeviceConfig DecodeDevice(Reader& in, int p) {
    sim::DeviceConfig config;
    config.at = {2000, 1, 1, 0, 0, 0, 0};
    config.regs_given = true;
    for (const sim::CalendarRegister& reg : sim::kCalendarRegisters) {
        config.regs.*reg.field = in.Byte();
    }
    const uint8_t flags = in.Byte();
    if ((flags & 0x01) != 0) {  // most runs should watch
        config.regs.month = sim::kFixers[p].month;
        config.regs.date = sim::kFixers[p].date;
        config.regs.hour = 0x23;
        config.regs.min = 0x59;
    }
    config.hw = (flags & 0x02) != 0 ? sim::Hw::Correct : sim::Hw::Chip;
    config.ignore_writes = (flags & 0x04) != 0;
    config.shell_after_s = (flags >> 3) & 0x03;
    if ((flags & 0x20) != 0) {
        config.fault.mask = in.Byte() & 0x7F;
        for (uint8_t& v : config.fault.value) {
            v = in.Byte();
        }
    }
    config.limit_s = 90;  // the watch window is one minute; the rest only repeats itself
    uint32_t reads = 0;
    while (in.More() && config.glitches.size() < sim::kMaxGlitches) {
        reads += 1U + in.Byte();
        const auto field = static_cast<uint8_t>(in.Byte() % (sim::kGlitchDroppedWrites + 1));
        config.glitches.push_back({reads, field, in.Byte()});
    }
    return config;
}

}  // namespace

Case DecodeInput(const uint8_t* data, size_t size, Watcher watcher, Program program) {
    Reader in{data, size};
    const uint8_t pick = in.Byte();
    if (watcher == nullptr) {
        program = static_cast<Program>(pick % sim::kFixerCount);
        watcher = kWatchers[pick % sim::kFixerCount];
    }
    return {program, watcher, DecodeDevice(in, static_cast<int>(program))};
}

Recording RunCase(const Case& c) {
    static sim::DeviceState device;
    sim::InitDevice(device, c.config);
    Recording run{c.program, {}, {}, false, 0, false};
    SpinGuard spin;
    const auto count_work = [&] {
        if (spin.Spins(device.os.clock_ms)) {
            run.spun = true;
            std::longjmp(g_limit, 2);
        }
    };
    sim::HostBinding b;
    b.device = &device;
    b.debug = [&](const std::string& text) {
        run.trace += text;
        count_work();
    };
    b.io = [&](const sim::IoEvent& e) {
        count_work();
        using Kind = sim::IoEvent::Kind;
        if (e.kind != Kind::Unattended && e.kind != Kind::Registration &&
            e.kind != Kind::Withdrawal) {
            run.io.push_back(e);  // the checker reads the register accesses and mode changes
        }
    };
    b.on_limit = [] { std::longjmp(g_limit, 1); };
    sim::BindHost(b);
    RunToLimit(c.watcher);
    run.finished = g_finished;
    sim::UnbindHost();
    run.violations = device.log.violation_count;
    return run;
}

Recording RunInput(const uint8_t* data, size_t size, Watcher watcher, Program program) {
    return RunCase(DecodeInput(data, size, watcher, program));
}

}  // namespace fuzz
