// In-process harness: binds the program code's platform calls to a simulated
// device held by the test, and captures the trace and every register access.
#pragma once

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "calendar.h"
#include "device.h"
#include "host_platform.h"
#include "invariants.h"
#include "registers.h"

class SimTest : public ::testing::Test {
protected:
    void TearDown() override { sim::UnbindHost(); }

    void Start(const sim::DeviceConfig& config) {
        sim::InitDevice(dev, config);
        trace.clear();
        io.clear();
        spin_ = {};
        sim::HostBinding b;
        b.device = &dev;
        b.debug = [this](const std::string& text) {
            trace += text;
            CountWork();
        };
        b.io = [this](const sim::IoEvent& e) {
            io.push_back(e);
            CountWork();
        };
        b.on_limit = [this] { std::longjmp(limit_jump_, 1); };
        sim::BindHost(b);
    }

    void StartAt(const char* at, sim::Hw hw = sim::Hw::Chip, uint8_t midnight_year = 0,
                 bool force_year = false) {
        sim::DeviceConfig c;
        const sim::Result<sim::DateTime> t = sim::ParseDateTime(at);
        EXPECT_TRUE(t) << t.why();
        c.at = t ? *t : c.at;
        c.hw = hw;
        if (force_year) {
            c.fault.mask = 1;
            c.fault.value[0] = midnight_year;
        }
        Start(c);
    }

    void StartRegs(RtcRegisters regs, int64_t limit_s = 3600, sim::Hw hw = sim::Hw::Chip,
                   sim::MidnightFault fault = {}) {
        sim::DeviceConfig c;
        c.at.year = 2000;
        c.regs_given = true;
        c.regs = regs;
        c.limit_s = limit_s;
        c.hw = hw;
        c.fault = fault;
        Start(c);
    }

    // Month and date forced after the first midnight step (0 leaves one alone).
    static sim::MidnightFault ForceMonthDate(uint8_t month, uint8_t date) {
        sim::MidnightFault f;
        const auto force = [&f](uint8_t RtcRegisters::*field, uint8_t value) {
            if (value != 0) {
                f.mask = static_cast<uint8_t>(f.mask | sim::MaskBit(field));
                f.value[sim::CalendarIndex(field)] = value;
            }
        };
        force(&RtcRegisters::month, month);
        force(&RtcRegisters::date, date);
        return f;
    }

    // Runs `fn`; false when the device stopped it at the time limit.
    bool RunGuarded(void (*fn)()) {
        if (setjmp(limit_jump_) != 0) {
            guarded_ = false;
            return false;
        }
        guarded_ = true;
        fn();
        guarded_ = false;
        return true;
    }

    // Lines of the trace, each without its "\r\n"; a line without one fails.
    std::vector<std::string> TraceLines() const {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < trace.size()) {
            const size_t end = trace.find("\r\n", start);
            if (end == std::string::npos) {
                ADD_FAILURE() << "trace ends without CR LF: " << trace.substr(start);
                break;
            }
            lines.push_back(trace.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    // Trace lines that carry a tag, i.e. the messages rather than the dumps.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const std::string& l : TraceLines()) {
            if (!l.empty() && l[0] == '[') {
                out.push_back(l);
            }
        }
        return out;
    }

    std::string PendingAt(const char* path) const {
        const sim::Launch* l = sim::FindLaunch(dev, path);
        return l == nullptr ? "none" : sim::FormatLaunchTime(l->at);
    }

    sim::DeviceState dev{};
    std::string trace;
    std::vector<sim::IoEvent> io;

private:
    // A program that spins is stopped with a failure, not by the test's timeout.
    void CountWork() {
        if (spin_.Spins(dev.os.clock_ms)) {
            ADD_FAILURE() << "the program spins: " << fuzz::SpinGuard::kMaxWorkAtOneInstant
                          << " traces and register accesses without the clock moving";
            if (guarded_) {
                std::longjmp(limit_jump_, 2);
            }
            std::abort();
        }
    }

    std::jmp_buf limit_jump_{};
    bool guarded_ = false;
    fuzz::SpinGuard spin_;
};
