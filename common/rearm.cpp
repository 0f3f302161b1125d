#include "rearm.h"

namespace {

struct Fixer {
    LPCWSTR path;
    WORD month;
    WORD day;
    bool after_february_next_year;  // once its February day is past, aim at next year
};

const Fixer kFixers[] = {
    {L"\\Windows\\nuv.exe", 12, 31, false},
    {L"\\Windows\\nuv28.exe", 2, 28, true},
    {L"\\Windows\\nuv29.exe", 2, 29, true},
};

bool DayIsPast(const Fixer& f, const SYSTEMTIME& now) {
    return f.after_february_next_year &&
           (now.wMonth > 2 || (now.wMonth == 2 && now.wDay > f.day));
}

}  // namespace

void RearmFixers() {
    while (IsAPIReady(SH_SHELL) == 0) {
        NKDbgPrintfW(L"[RTC run] IsAPIReady ret FALSE\r\n");
        Sleep(1000);
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    DumpSystemTime(now);

    for (const Fixer& f : kFixers) {
        SYSTEMTIME t = now;
        t.wMonth = f.month;
        t.wDay = f.day;
        t.wDayOfWeek = 0;
        t.wHour = 23;
        t.wMinute = 59;
        t.wSecond = 0;
        t.wMilliseconds = 0;
        if (DayIsPast(f, now)) {
            t.wYear = static_cast<WORD>(now.wYear + 1);
        }
        DumpSystemTime(t);
        CeRunAppAtTime(f.path, &t);
    }
}

void DumpSystemTime(const SYSTEMTIME& t) {
    NKDbgPrintfW(L"---------------------\r\n");
    NKDbgPrintfW(L"Year:      %d\r\n", unsigned{t.wYear});
    NKDbgPrintfW(L"Month:     %d\r\n", unsigned{t.wMonth});
    NKDbgPrintfW(L"Day:       %d\r\n", unsigned{t.wDay});
    NKDbgPrintfW(L"DayOfWeek: %d\r\n", unsigned{t.wDayOfWeek});
    NKDbgPrintfW(L"Hour:      %d\r\n", unsigned{t.wHour});
    NKDbgPrintfW(L"Min:       %d\r\n", unsigned{t.wMinute});
    NKDbgPrintfW(L"Sec:       %d\r\n", unsigned{t.wSecond});
    NKDbgPrintfW(L"mSec:      %d\r\n", unsigned{t.wMilliseconds});
    NKDbgPrintfW(L"---------------------\r\n");
}
