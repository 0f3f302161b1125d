#include "watch_feb28.h"

#include "leap_year.h"
#include "platform.h"
#include "rtc.h"

namespace {

struct MonthDate {
    uint8_t month;
    uint8_t date;
};

// The day after February 28, indexed by the leap flag.
const MonthDate kDayAfterFeb28[2] = {{0x03, 0x01}, {0x02, 0x29}};

}  // namespace

void WatchFeb28Rollover() {
    RtcRegisters r;
    ReadRtc(r);
    DumpRtc(r);

    const int32_t leap = IsLeapYear(static_cast<int32_t>(r.year) + YEAR_BASE);
    NKDbgPrintfW(L"[RTC0228] is leap year = %d\r\n", static_cast<unsigned>(leap));
    const MonthDate target = kDayAfterFeb28[leap];

    if (!IsRolloverMinute(r, 0x02, 0x28)) {
        return;
    }
    for (;;) {
        ReadRtc(r);
        if (r.month == target.month && r.date == target.date) {
            break;
        }
        // Only February 28 itself is waited out. Any other day, even one
        // sharing the target's date byte (02-01, 03-29), is wrong and would
        // otherwise stand for a whole day, then roll on to a wrong date.
        if (!(r.month == 0x02 && r.date == 0x28)) {
            r.month = target.month;
            r.date = target.date;
            WriteRtc(r);
            NKDbgPrintfW(L"[RTC0228] fix date %x-%x\r\n", static_cast<unsigned>(target.month),
                         static_cast<unsigned>(target.date));
        }
        PausePoll();
    }
    NKDbgPrintfW(L"[RTC0228] Fix OK\r\n");
}
