#include "bad_watchers.h"

#include "platform.h"
#include "rtc.h"

// nuv with the year arithmetic gone wrong: old + 0x10 instead of old + 1.
void WatchYearWritesOldPlus16() {
    RtcRegisters r;
    ReadRtc(r);
    DumpRtc(r);
    const uint8_t old = r.year;
    const auto wrong = static_cast<uint8_t>(old + 0x10);
    if (!IsRolloverMinute(r, 0x12, 0x31)) {
        return;
    }
    for (;;) {
        ReadRtcYear(r);
        if (r.year == wrong || r.year == static_cast<uint8_t>(old + 1)) {
            break;
        }
        if (r.year != old) {
            r.year = wrong;
            WriteRtcYear(r);
            NKDbgPrintfW(L"[RTC] fix year %x (%d)\r\n", unsigned{wrong}, unsigned{wrong});
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC] Fix OK\r\n");
}

// nuv that stops after one look, midnight or not.
void WatchYearGivesUpEarly() {
    RtcRegisters r;
    ReadRtc(r);
    DumpRtc(r);
    if (IsRolloverMinute(r, 0x12, 0x31)) {
        ReadRtcYear(r);
    }
}

// nuv's snapshot with RTCEN left set.
void WatchYearLeavesRtcenSet() {
    const BOOL prev = SetKMode(TRUE);
    volatile uint8_t* con = RTC_REG_BASE + RTCCON;
    WriteRegister(con, static_cast<uint8_t>(ReadRegister(con) | RTCEN));
    RtcRegisters r;
    for (const RtcCalendarRegister& reg : RTC_CALENDAR) {
        r.*reg.field = ReadRegister(RTC_REG_BASE + reg.offset);
    }
    SetKMode(prev);
    DumpRtc(r);
}

// nuv that fixes right but traces the year in decimal where hex belongs.
void WatchYearMisquotesItsFix() {
    RtcRegisters r;
    ReadRtc(r);
    DumpRtc(r);
    const uint8_t old = r.year;
    const auto next = static_cast<uint8_t>(old + 1);
    if (!IsRolloverMinute(r, 0x12, 0x31)) {
        return;
    }
    for (;;) {
        ReadRtcYear(r);
        if (r.year == next) {
            break;
        }
        if (r.year != old) {
            r.year = next;
            WriteRtcYear(r);
            NKDbgPrintfW(L"[RTC] fix year %d (%d)\r\n", unsigned{next}, unsigned{next});
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC] Fix OK\r\n");
}

// nuv28 that writes its target with the day-of-week register cleared.
void WatchFeb28ClearsTheWeekday() {
    RtcRegisters r;
    ReadRtc(r);
    DumpRtc(r);
    NKDbgPrintfW(L"[RTC0228] is leap year = %d\r\n", 1U);  // only run on 2008
    if (!IsRolloverMinute(r, 0x02, 0x28)) {
        return;
    }
    for (;;) {
        ReadRtc(r);
        if (r.month == 0x02 && r.date == 0x29) {
            break;
        }
        if (r.date != 0x28) {
            r.month = 0x02;
            r.date = 0x29;
            r.day = 0x00;
            WriteRtc(r);
            NKDbgPrintfW(L"[RTC0228] fix date %x-%x\r\n", 2U, 0x29U);
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC0228] Fix OK\r\n");
}

// nuv29 that writes March 1 as soon as it starts, not in the last second.
void WatchFeb29WritesTooEarly() {
    RtcRegisters r;
    ReadRtc(r);
    if (!IsRolloverMinute(r, 0x02, 0x29)) {
        return;
    }
    ReadRtc(r);
    r.month = 0x03;
    r.date = 0x01;
    r.hour = r.min = r.sec = 0x00;
    WriteRtc(r);
    NKDbgPrintfW(L"[RTC0229] fix date %x-%x\r\n", 3U, 1U);
    for (;;) {
        ReadRtc(r);
        if (r.month != 0x02 && r.date != 0x29) {
            break;
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC0229] Fix OK\r\n");
}
