#include "watch_feb29.h"

#include "platform.h"
#include "rtc.h"

void WatchFeb29Rollover() {
    RtcRegisters r;
    ReadRtc(r);
    if (!IsRolloverMinute(r, 0x02, 0x29)) {
        return;
    }
    for (;;) {
        ReadRtc(r);
        if (r.month != 0x02 && r.date != 0x29) {
            break;
        }
        if (r.month == 0x02) {
            if (r.date == 0x29 && r.hour == 0x23 && r.min == 0x59 && r.sec == 0x59) {
                // Step ahead of the chip, which may not know this day ends February.
                r.month = 0x03;
                r.date = 0x01;
                r.hour = 0x00;
                r.min = 0x00;
                r.sec = 0x00;
                WriteRtc(r);
                NKDbgPrintfW(L"[RTC0229] fix date %x-%x\r\n", 3U, 1U);
            } else if (r.date > 0x29) {
                // Midnight passed unseen and the chip went on counting February.
                r.month = 0x03;
                r.date = 0x01;
                WriteRtc(r);
                NKDbgPrintfW(L"[RTC0229] fix date %x-%x (special case)\r\n", 3U, 1U);
            }
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC0229] Fix OK\r\n");
}
