#include "watch_year.h"

#include "platform.h"
#include "rtc.h"

void WatchYearRollover() {
    RtcRegisters r;
    ReadRtc(r);
    DumpRtc(r);

    const uint8_t old = r.year;
    // Binary successor: 0x39 is followed by 0x3A, and 0xFF by 0x00.
    const uint8_t next = static_cast<uint8_t>(old + 1);

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
            NKDbgPrintfW(L"[RTC] fix year %x (%d)\r\n", static_cast<unsigned>(next), static_cast<unsigned>(next));
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC] Fix OK\r\n");
}
