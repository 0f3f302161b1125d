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

// After `after` more calendar reads, set byte `field` of the registers to
// `value` (field 7: the chip starts or stops dropping writes).
struct Glitch {
    uint32_t after;
    uint8_t field;
    uint8_t value;
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

}  // namespace

Recording RunInput(const uint8_t* data, size_t size, Watcher watcher, Program program) {
    Reader in{data, size};
    const uint8_t pick = in.Byte();
    if (watcher == nullptr) {
        program = static_cast<Program>(pick % sim::kFixerCount);
        watcher = kWatchers[pick % sim::kFixerCount];
    }
    const int p = static_cast<int>(program);

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
    std::vector<Glitch> glitches;
    uint32_t reads = 0;
    while (in.More() && glitches.size() < 64) {
        reads += 1U + in.Byte();
        // A register, or (the one past them) the toggle of dropped writes.
        const uint8_t field = in.Byte() % (sim::kCalendarCount + 1);
        glitches.push_back({reads, field, in.Byte()});
    }

    static sim::DeviceState device;
    sim::InitDevice(device, config);
    Recording run{program, {}, {}, false, 0, false};
    size_t next_glitch = 0;
    uint32_t calendar_reads = 0;
    SpinGuard spin;
    const auto count_work = [&] {
        if (spin.Spins(device.clock_ms)) {
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
        if (e.kind == Kind::Unattended || e.kind == Kind::Registration) {
            return;  // the checker reads the register accesses and mode changes
        }
        run.io.push_back(e);
        if (e.kind != sim::IoEvent::Kind::Read || e.offset == RTCCON) {
            return;
        }
        ++calendar_reads;
        while (next_glitch < glitches.size() && glitches[next_glitch].after <= calendar_reads) {
            const Glitch& g = glitches[next_glitch++];
            if (g.field == sim::kCalendarCount) {
                device.ignore_writes ^= 1;
            } else {
                device.regs.*sim::kCalendarRegisters[g.field].field = g.value;
            }
        }
    };
    b.on_limit = [] { std::longjmp(g_limit, 1); };
    sim::BindHost(b);
    RunToLimit(watcher);
    run.finished = g_finished;
    sim::UnbindHost();
    run.violations = device.violation_count;
    return run;
}

}  // namespace fuzz
