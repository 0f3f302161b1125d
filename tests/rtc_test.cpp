#include <gtest/gtest.h>

#include <cstring>

#include "platform.h"
#include "rtc.h"
#include "sim_fixture.h"

namespace {

using Kind = sim::IoEvent::Kind;

struct Access {
    Kind kind;
    uint32_t offset;
    uint8_t value;
};

bool operator==(const sim::IoEvent& e, const Access& a) {
    return e.kind == a.kind && (e.kind == Kind::KmodeOn || e.kind == Kind::KmodeOff ||
                                (e.offset == a.offset && e.value == a.value));
}

std::string Show(const sim::IoEvent& e) { return sim::FormatIo(e); }

// 2008-12-31 23:59:30, Wednesday (BCDDAY 4)
const RtcRegisters kNewYearsEve = {0x3A, 0x12, 0x04, 0x31, 0x23, 0x59, 0x30};
// A record the operations are given to write: every byte differs from kNewYearsEve.
const RtcRegisters kToWrite = {0x3B, 0x01, 0x05, 0x01, 0x00, 0x00, 0x00};

struct OpCase {
    const char* name;
    void (*op)(RtcRegisters&);
    std::vector<Access> transfers;
};

void PrintTo(const OpCase& c, std::ostream* os) { *os << c.name; }

class RtcAccess : public SimTest, public ::testing::WithParamInterface<OpCase> {};

// The bracket around every operation: kernel mode on, RTCEN set with the other
// RTCCON bits kept, the transfers from the highest offset down, RTCEN cleared,
// the previous mode back.
TEST_P(RtcAccess, RunsTransfersInsideTheBracketInRegisterOrder) {
    for (const bool was_kernel : {false, true}) {
        sim::DeviceConfig c;
        c.regs_given = true;
        c.regs = kNewYearsEve;
        c.rtccon = 0xA4;  // bits the operations must keep
        Start(c);
        if (was_kernel) {
            SetKMode(TRUE);
            io.clear();
        }
        RtcRegisters r = kToWrite;
        GetParam().op(r);

        std::vector<Access> want = {{Kind::KmodeOn, 0, 0}, {Kind::Read, RTCCON, 0xA4},
                                    {Kind::Write, RTCCON, 0xA5}};
        want.insert(want.end(), GetParam().transfers.begin(), GetParam().transfers.end());
        want.push_back({Kind::Read, RTCCON, 0xA5});
        want.push_back({Kind::Write, RTCCON, 0xA4});
        want.push_back({was_kernel ? Kind::KmodeOn : Kind::KmodeOff, 0, 0});

        ASSERT_EQ(io.size(), want.size()) << GetParam().name;
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_TRUE(io[i] == want[i]) << GetParam().name << " access " << i << ": "
                                          << Show(io[i]);
        }
        EXPECT_EQ(dev.os.kmode, was_kernel ? 1 : 0);
        EXPECT_EQ(dev.chip.rtccon, 0xA4);
        EXPECT_EQ(dev.log.violation_count, 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, RtcAccess,
    ::testing::Values(
        OpCase{"ReadRtc", ReadRtc,
               {{Kind::Read, BCDYEAR, 0x3A}, {Kind::Read, BCDMON, 0x12},
                {Kind::Read, BCDDAY, 0x04}, {Kind::Read, BCDDATE, 0x31},
                {Kind::Read, BCDHOUR, 0x23}, {Kind::Read, BCDMIN, 0x59},
                {Kind::Read, BCDSEC, 0x30}}},
        OpCase{"WriteRtc", [](RtcRegisters& r) { WriteRtc(r); },
               {{Kind::Write, BCDYEAR, 0x3B}, {Kind::Write, BCDMON, 0x01},
                {Kind::Write, BCDDAY, 0x05}, {Kind::Write, BCDDATE, 0x01},
                {Kind::Write, BCDHOUR, 0x00}, {Kind::Write, BCDMIN, 0x00},
                {Kind::Write, BCDSEC, 0x00}}},
        OpCase{"ReadRtcYear", ReadRtcYear, {{Kind::Read, BCDYEAR, 0x3A}}},
        OpCase{"WriteRtcYear", [](RtcRegisters& r) { WriteRtcYear(r); }, {{Kind::Write, BCDYEAR, 0x3B}}}),
    [](const ::testing::TestParamInfo<OpCase>& p) { return std::string(p.param.name); });

TEST_F(SimTest, ReadRtcFillsTheRecordAndYearOpsTouchTheYearAlone) {
    StartRegs(kNewYearsEve);
    RtcRegisters r = kToWrite;
    ReadRtc(r);
    EXPECT_EQ(std::memcmp(&r, &kNewYearsEve, sizeof r), 0);

    r = kToWrite;
    ReadRtcYear(r);
    const RtcRegisters want_read = {0x3A, 0x01, 0x05, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(&r, &want_read, sizeof r), 0) << "ReadRtcYear changed more than year";

    r = kToWrite;
    WriteRtcYear(r);
    const RtcRegisters want_regs = {0x3B, 0x12, 0x04, 0x31, 0x23, 0x59, 0x30};
    EXPECT_EQ(std::memcmp(&dev.chip.regs, &want_regs, sizeof r), 0);
    EXPECT_EQ(std::memcmp(&r, &kToWrite, sizeof r), 0) << "WriteRtcYear changed its record";
}

TEST_F(SimTest, WriteRtcWritesAllSevenFromTheRecord) {
    StartRegs(kNewYearsEve);
    RtcRegisters r;
    ReadRtc(r);
    r.month = 0x02;
    r.date = 0x29;
    WriteRtc(r);
    // The five untouched bytes go back as they were read.
    const RtcRegisters want = {0x3A, 0x02, 0x04, 0x29, 0x23, 0x59, 0x30};
    EXPECT_EQ(std::memcmp(&dev.chip.regs, &want, sizeof want), 0);
    EXPECT_EQ(dev.log.write_ops, 1U);
    EXPECT_EQ(dev.log.write_log[0].mask, 0x7F);
}

TEST_F(SimTest, DumpRtcTracesTheSnapshotInItsOwnLayout) {
    StartRegs({});
    RtcRegisters r = {0x3A, 0x12, 0x04, 0x05, 0x23, 0x59, 0x00};
    DumpRtc(r);
    EXPECT_EQ(trace,
              "--------------------- RTCcontent\r\n"
              "year:      3a (58)\r\n"
              "month:     12\r\n"
              "date:      5\r\n"
              "day:       4\r\n"
              "hour:      23\r\n"
              "min:       59\r\n"
              "sec:       0\r\n"
              "---------------------\r\n");
}

TEST(RolloverMinute, NeedsMonthDateHourAndMinuteWhateverTheSecond) {
    struct Case {
        RtcRegisters r;
        bool want;
    };
    const Case cases[] = {
        {{0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x00}, true},
        {{0x3A, 0x12, 4, 0x31, 0x23, 0x59, 0x59}, true},
        {{0x3A, 0x12, 4, 0x31, 0x23, 0x58, 0x59}, false},  // 23:58
        {{0x3A, 0x12, 4, 0x31, 0x00, 0x00, 0x00}, false},  // midnight already
        {{0x3A, 0x12, 4, 0x30, 0x23, 0x59, 0x00}, false},  // Dec 30
        {{0x3A, 0x11, 4, 0x31, 0x23, 0x59, 0x00}, false},  // month 11
        {{0x3A, 0x0C, 4, 0x31, 0x23, 0x59, 0x00}, false},  // binary 12 is not BCD 12
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRolloverMinute(c.r, 0x12, 0x31), c.want)
            << std::hex << int{c.r.month} << "-" << int{c.r.date} << " " << int{c.r.hour} << ":"
            << int{c.r.min};
    }
}

}  // namespace

namespace {

// The hardware's and the platform's numbers as their documentation gives
// them, stated here apart from the headers the programs and the simulated
// device share, so that a wrong offset cannot agree with itself.
TEST(HardwareFacts, RegisterMapAndPlatformValuesAreTheDocumentedOnes) {
    const struct {
        const char* name;
        uint32_t code;
        uint32_t documented;
    } facts[] = {
        {"RTC_PHYS_BASE", RTC_PHYS_BASE, 0xB1700000}, {"RTCCON", RTCCON, 0x40},
        {"RTCEN", RTCEN, 0x01},                        {"BCDSEC", BCDSEC, 0x70},
        {"BCDMIN", BCDMIN, 0x74},                      {"BCDHOUR", BCDHOUR, 0x78},
        {"BCDDATE", BCDDATE, 0x7C},                    {"BCDDAY", BCDDAY, 0x80},
        {"BCDMON", BCDMON, 0x84},                      {"BCDYEAR", BCDYEAR, 0x88},
        {"YEAR_BASE", static_cast<uint32_t>(YEAR_BASE), 1950},
        {"SH_SHELL", SH_SHELL, 21},                    {"PPN_UNATTENDEDMODE", PPN_UNATTENDEDMODE, 3},
        {"TRUE", static_cast<uint32_t>(TRUE), 1},      {"FALSE", static_cast<uint32_t>(FALSE), 0},
    };
    for (const auto& f : facts) {
        EXPECT_EQ(f.code, f.documented) << f.name;
    }
}

}  // namespace
