#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>

#include <cstring>

#include <unistd.h>

#include <cstdarg>
#include <fstream>

#include "debug_format.h"
#include "device.h"
#include "state_file.h"

namespace {

using sim::DeviceState;

constexpr uintptr_t Reg(uint32_t offset) { return RTC_PHYS_BASE + offset; }

DeviceState At(const char* when, int64_t shell_after_s = 0) {
    sim::DeviceConfig c;
    const sim::Result<sim::DateTime> t = sim::ParseDateTime(when);
    EXPECT_TRUE(t) << t.why();
    c.at = t ? *t : c.at;
    c.shell_after_s = shell_after_s;
    DeviceState d;
    sim::InitDevice(d, c);
    return d;
}

// Reads a register inside a proper bracket.
uint8_t Peek(DeviceState& d, uint32_t offset) {
    sim::DeviceSetKMode(d, 1, nullptr);
    sim::DeviceWrite(d, Reg(RTCCON), RTCEN, nullptr);
    const uint8_t v = sim::DeviceRead(d, Reg(offset), nullptr);
    sim::DeviceWrite(d, Reg(RTCCON), 0, nullptr);
    sim::DeviceSetKMode(d, 0, nullptr);
    return v;
}

TEST(Prescaler, FirstTickOnTheNextWholeSecondThenEverySecond) {
    DeviceState d = At("2008-12-31 23:59:30.250");
    EXPECT_EQ(sim::DeviceLocalTime(d).wMilliseconds, 250);
    ASSERT_TRUE(sim::DeviceSleep(d, 749));
    EXPECT_EQ(Peek(d, BCDSEC), 0x30);
    EXPECT_EQ(sim::DeviceLocalTime(d).wMilliseconds, 999);
    ASSERT_TRUE(sim::DeviceSleep(d, 1));  // 23:59:31.000 exactly: the tick is due
    EXPECT_EQ(Peek(d, BCDSEC), 0x31);
    EXPECT_EQ(sim::DeviceLocalTime(d).wMilliseconds, 0);
    ASSERT_TRUE(sim::DeviceSleep(d, 29000));  // 2008-12-31 23:59:60 -> midnight step
    EXPECT_EQ(Peek(d, BCDYEAR), 0x40);
    const SYSTEMTIME t = sim::DeviceLocalTime(d);
    EXPECT_EQ(t.wYear, 1950 + 0x40);  // the chip's year, taken as binary
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, 1);
    EXPECT_EQ(t.wDayOfWeek, 4);  // Thursday
}

TEST(Prescaler, AWriteToTheSecondsRestartsIt) {
    DeviceState d = At("2008-02-29 23:59:59.600");
    ASSERT_TRUE(sim::DeviceSleep(d, 100));  // .700
    sim::DeviceSetKMode(d, 1, nullptr);
    sim::DeviceWrite(d, Reg(RTCCON), RTCEN, nullptr);
    sim::DeviceWrite(d, Reg(BCDSEC), 0x00, nullptr);
    sim::DeviceWrite(d, Reg(RTCCON), 0, nullptr);
    sim::DeviceSetKMode(d, 0, nullptr);
    ASSERT_TRUE(sim::DeviceSleep(d, 300));  // old phase would have ticked here
    EXPECT_EQ(Peek(d, BCDSEC), 0x00);
    EXPECT_EQ(sim::DeviceLocalTime(d).wMilliseconds, 300);
    ASSERT_TRUE(sim::DeviceSleep(d, 700));
    EXPECT_EQ(Peek(d, BCDSEC), 0x01);
}

TEST(AccessRules, EveryBreachIsRecordedAndBadWritesAreDropped) {
    struct Case {
        const char* what;
        bool kmode;
        uint8_t rtccon;
        uint32_t offset;
        bool write;
        const char* violation;  // nullptr: clean access
    };
    const Case cases[] = {
        {"bracketed read", true, RTCEN, BCDYEAR, false, nullptr},
        {"bracketed write", true, RTCEN, BCDMON, true, nullptr},
        {"RTCCON needs no RTCEN", true, 0, RTCCON, false, nullptr},
        {"user-mode read", false, RTCEN, BCDYEAR, false, "read of BCDYEAR outside kernel mode"},
        {"user-mode RTCCON", false, 0, RTCCON, true, "write of RTCCON outside kernel mode"},
        {"write without RTCEN", true, 0, BCDDATE, true, "write of BCDDATE while RTCEN is clear"},
        {"read without RTCEN", true, 0xFE, BCDSEC, false, "read of BCDSEC while RTCEN is clear"},
        {"hole in the map", true, RTCEN, 0x44, false, "read of unmapped address 0xb1700044"},
        {"past the block", true, RTCEN, 0x1000, true, "write of unmapped address 0xb1701000"},
    };
    for (const Case& c : cases) {
        DeviceState d = At("2008-06-15 12:00:00");
        d.os.kmode = c.kmode ? 1 : 0;
        d.chip.rtccon = c.rtccon;
        const RtcRegisters before = d.chip.regs;
        if (c.write) {
            sim::DeviceWrite(d, Reg(c.offset), 0x07, nullptr);
        } else {
            sim::DeviceRead(d, Reg(c.offset), nullptr);
        }
        if (c.violation == nullptr) {
            EXPECT_EQ(d.log.violation_count, 0U) << c.what;
            continue;
        }
        ASSERT_EQ(d.log.violation_count, 1U) << c.what;
        EXPECT_STREQ(d.log.violations[0].text, c.violation) << c.what;
        if (c.write && c.offset != RTCCON) {
            EXPECT_EQ(std::memcmp(&d.chip.regs, &before, 7), 0) << c.what << ": write not dropped";
        }
    }
}

TEST(Launches, OnePerPathAndNonexistentTimesRefused) {
    DeviceState d = At("2009-01-01 00:00:00");
    const SYSTEMTIME first = {2009, 12, 0, 31, 23, 59, 0, 0};
    const SYSTEMTIME second = {2010, 12, 0, 31, 23, 59, 0, 0};
    const SYSTEMTIME past = {2008, 2, 0, 28, 23, 59, 0, 0};
    EXPECT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv.exe", first));
    EXPECT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv.exe", second));
    EXPECT_TRUE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv28.exe", past));
    EXPECT_EQ(sim::FormatLaunchTime(sim::FindLaunch(d, "\\Windows\\nuv.exe")->at),
              "2010-12-31 23:59:00");

    const SYSTEMTIME bad[] = {
        {2009, 2, 0, 29, 23, 59, 0, 0},   // no leap day in 2009
        {2100, 2, 0, 29, 23, 59, 0, 0},   // nor in 2100
        {2009, 13, 0, 1, 23, 59, 0, 0},
        {2009, 1, 0, 1, 24, 0, 0, 0},
        {2009, 4, 0, 31, 0, 0, 0, 0},
    };
    for (const SYSTEMTIME& t : bad) {
        EXPECT_FALSE(sim::DeviceRunAppAtTime(d, "\\Windows\\nuv28.exe", t))
            << sim::FormatLaunchTime(t);
    }
    EXPECT_EQ(d.log.refused_count, 5U);
    // A refusal leaves the earlier registration in place.
    EXPECT_EQ(sim::FormatLaunchTime(sim::FindLaunch(d, "\\Windows\\nuv28.exe")->at),
              "2008-02-28 23:59:00");

    // CeRunAppAtTime(path, NULL) deletes that path's request, and only it.
    EXPECT_TRUE(sim::DeviceWithdrawLaunch(d, "\\Windows\\nuv.exe"));
    EXPECT_EQ(sim::FindLaunch(d, "\\Windows\\nuv.exe"), nullptr);
    EXPECT_FALSE(sim::DeviceWithdrawLaunch(d, "\\Windows\\nuv.exe"));
    EXPECT_NE(sim::FindLaunch(d, "\\Windows\\nuv28.exe"), nullptr);
}

TEST(Services, ShellReadinessAndUnattendedMode) {
    DeviceState d = At("2009-01-01 00:00:00", 2);
    EXPECT_FALSE(sim::DeviceApiReady(d, SH_SHELL));
    ASSERT_TRUE(sim::DeviceSleep(d, 1999));
    EXPECT_FALSE(sim::DeviceApiReady(d, SH_SHELL));
    ASSERT_TRUE(sim::DeviceSleep(d, 1));
    EXPECT_TRUE(sim::DeviceApiReady(d, SH_SHELL));
    EXPECT_FALSE(sim::DeviceApiReady(d, SH_SHELL + 1));

    sim::DevicePowerNotify(d, PPN_UNATTENDEDMODE, TRUE);
    sim::DevicePowerNotify(d, PPN_UNATTENDEDMODE, TRUE);
    EXPECT_EQ(d.os.unattended_on, 1);
    sim::DevicePowerNotify(d, PPN_UNATTENDEDMODE, FALSE);
    EXPECT_EQ(d.os.unattended_on, 0);
    EXPECT_EQ(d.os.unattended_requests, 2U);
    EXPECT_EQ(d.os.unattended_withdrawals, 1U);
}

TEST(Services, SleepStopsAtTheLimit) {
    sim::DeviceConfig c;
    c.limit_s = 1;
    DeviceState d;
    sim::InitDevice(d, c);
    EXPECT_TRUE(sim::DeviceSleep(d, 1000));
    EXPECT_FALSE(sim::DeviceSleep(d, 1));
    EXPECT_EQ(d.os.stopped_at_limit, 1);
    EXPECT_EQ(d.os.clock_ms - d.os.start_ms, 1000);
}

std::string Format(const wchar_t* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = sim::FormatDebug(fmt, [&args] { return va_arg(args, unsigned); });
    va_end(args);
    return s;
}

// The device's UTF-16 form, as the ARM runner reads it.
std::string Format16(const char16_t* fmt, std::vector<uint32_t> args) {
    size_t i = 0;
    return sim::FormatDebug(fmt, [&] { return args.at(i++); });
}

TEST(DebugFormat, HexDecimalAndUtf8) {
    EXPECT_EQ(Format(L"year:      %x (%d)\r\n", 0x3Au, 0x3Au), "year:      3a (58)\r\n");
    EXPECT_EQ(Format(L"%x-%x", 2u, 0x29u), "2-29");
    EXPECT_EQ(Format(L"100%% %d", 7u), "100% 7");
    EXPECT_EQ(Format(L"%s stays"), "%s stays");
    EXPECT_EQ(Format(L"\u00e9\u20ac"), "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(Format16(u"fix %x-%x \U0001F600\r\n", {3, 1}), "fix 3-1 \xf0\x9f\x98\x80\r\n");
}

TEST(StateFile, RoundTripsAndRejectsDamage) {
    char dir[] = "/tmp/nuv-state-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/state";
    DeviceState initial = At("2008-12-31 23:59:30");
    sim::Result<DeviceState*> d = sim::CreateStateFile(path, initial);
    ASSERT_TRUE(d) << d.why();
    (*d)->chip.regs.year = 0x40;
    sim::CloseStateFile(*d);
    d = sim::OpenStateFile(path);
    ASSERT_TRUE(d) << d.why();
    EXPECT_EQ((*d)->chip.regs.year, 0x40);
    // A pending launch at a time that does not exist: 2009-02-30.
    ASSERT_TRUE(sim::DeviceRunAppAtTime(**d, "\\Windows\\nuv.exe", {2009, 2, 0, 28, 23, 59, 0, 0}));
    sim::CloseStateFile(*d);
    const size_t day_at = offsetof(DeviceState, os) + offsetof(sim::OsState, launches) +
                          offsetof(sim::Launch, at) + offsetof(SYSTEMTIME, wDay);
    const int fd = open(path.c_str(), O_RDWR);
    const uint16_t thirtieth = 30;
    ASSERT_EQ(pwrite(fd, &thirtieth, sizeof thirtieth, static_cast<off_t>(day_at)), 2);
    close(fd);
    EXPECT_EQ(sim::OpenStateFile(path).why(), "corrupt launch table");
    d = sim::OpenStateFile(path);
    ASSERT_FALSE(d);
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    ASSERT_EQ(unlink(path.c_str()), 0);
    d = sim::CreateStateFile(path, initial);
    ASSERT_TRUE(d) << d.why();
    (*d)->magic = 0;
    sim::CloseStateFile(*d);
    // What each damage is refused with.
    EXPECT_NE(sim::OpenStateFile(path).why().find("magic"), std::string::npos);
    ASSERT_EQ(truncate(path.c_str(), 100), 0);
    EXPECT_NE(sim::OpenStateFile(path).why().find("truncated"), std::string::npos);
    unlink(path.c_str());
    EXPECT_NE(sim::OpenStateFile(path).why().find("cannot open"), std::string::npos);
    rmdir(dir);
}

}  // namespace
