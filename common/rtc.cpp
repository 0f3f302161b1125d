#include "rtc.h"

#include "platform.h"

volatile uint8_t* RTC_REG_BASE = reinterpret_cast<volatile uint8_t*>(RTC_PHYS_BASE);

namespace {

BOOL EnterRtc() {
    const BOOL prev = SetKMode(TRUE);
    volatile uint8_t* con = RTC_REG_BASE + RTCCON;
    WriteRegister(con, static_cast<uint8_t>(ReadRegister(con) | RTCEN));
    return prev;
}

void LeaveRtc(BOOL prev) {
    volatile uint8_t* con = RTC_REG_BASE + RTCCON;
    WriteRegister(con, static_cast<uint8_t>(ReadRegister(con) & 0xFE));
    SetKMode(prev);
}

}  // namespace

void ReadRtc(RtcRegisters& r) {
    const BOOL prev = EnterRtc();
    for (unsigned i = 0; i < RTC_CALENDAR_COUNT; ++i) {
        r.*RTC_CALENDAR[i].field = ReadRegister(RTC_REG_BASE + RTC_CALENDAR[i].offset);
    }
    LeaveRtc(prev);
}

void WriteRtc(const RtcRegisters& r) {
    const BOOL prev = EnterRtc();
    for (unsigned i = 0; i < RTC_CALENDAR_COUNT; ++i) {
        WriteRegister(RTC_REG_BASE + RTC_CALENDAR[i].offset, r.*RTC_CALENDAR[i].field);
    }
    LeaveRtc(prev);
}

void ReadRtcYear(RtcRegisters& r) {
    const BOOL prev = EnterRtc();
    r.year = ReadRegister(RTC_REG_BASE + BCDYEAR);
    LeaveRtc(prev);
}

void WriteRtcYear(const RtcRegisters& r) {
    const BOOL prev = EnterRtc();
    WriteRegister(RTC_REG_BASE + BCDYEAR, r.year);
    LeaveRtc(prev);
}

void DumpRtc(const RtcRegisters& r) {
    // %x shows a BCD byte as its two digits; the binary year also goes out in decimal.
    NKDbgPrintfW(L"--------------------- RTCcontent\r\n");
    NKDbgPrintfW(L"year:      %x (%d)\r\n", static_cast<unsigned>(r.year), static_cast<unsigned>(r.year));
    NKDbgPrintfW(L"month:     %x\r\n", static_cast<unsigned>(r.month));
    NKDbgPrintfW(L"date:      %x\r\n", static_cast<unsigned>(r.date));
    NKDbgPrintfW(L"day:       %x\r\n", static_cast<unsigned>(r.day));
    NKDbgPrintfW(L"hour:      %x\r\n", static_cast<unsigned>(r.hour));
    NKDbgPrintfW(L"min:       %x\r\n", static_cast<unsigned>(r.min));
    NKDbgPrintfW(L"sec:       %x\r\n", static_cast<unsigned>(r.sec));
    NKDbgPrintfW(L"---------------------\r\n");
}

bool IsRolloverMinute(const RtcRegisters& r, uint8_t month, uint8_t date) {
    return r.month == month && r.date == date && r.hour == 0x23 && r.min == 0x59;
}

void PausePoll() {
    PowerPolicyNotify(PPN_UNATTENDEDMODE, TRUE);
    Sleep(100);
}
