#include "rearm.h"

#include "fixer_list.h"

namespace {

struct Fixer {
    LPCWSTR path;
    WORD month;
    WORD day;
    bool after_february_next_year;  // once its February day is past, aim at next year
};

// Made from the one list: its rollover month and date are the registers'
// BCD bytes, which a registration gives as numbers; a February fixer's
// day passes early in the year.
#define REARM_WIDE(text) L##text
#define REARM_NUMBER(bcd) static_cast<WORD>(((bcd) >> 4) * 10 + ((bcd) & 0x0F))
#define REARM_FIXER(program, dir, watcher, month, date, path) \
    {REARM_WIDE(path), REARM_NUMBER(month), REARM_NUMBER(date), (month) == 0x02},
const Fixer kFixers[] = {FIXER_PROGRAMS(REARM_FIXER)};
#undef REARM_FIXER

bool DayIsPast(const Fixer& f, const SYSTEMTIME& now) {
    return f.after_february_next_year &&
           (now.wMonth > 2 || (now.wMonth == 2 && now.wDay > f.day));
}

}  // namespace

unsigned FixerCount() { return sizeof kFixers / sizeof kFixers[0]; }

LPCWSTR FixerPath(unsigned i) { return kFixers[i].path; }

SYSTEMTIME RearmTime(unsigned i, const SYSTEMTIME& now) {
    const Fixer& f = kFixers[i];
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
    return t;
}

void RearmFixers(Registration* made, unsigned room) {
    while (IsAPIReady(SH_SHELL) == 0) {
        NKDbgPrintfW(L"[RTC run] IsAPIReady ret FALSE\r\n");
        Sleep(1000);
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    DumpSystemTime(now);

    for (unsigned i = 0; i < FixerCount(); ++i) {
        SYSTEMTIME t = RearmTime(i, now);
        DumpSystemTime(t);
        const BOOL taken = CeRunAppAtTime(const_cast<WCHAR*>(kFixers[i].path), &t);
        if (made != 0 && i < room) {
            CopyTime(made[i].at, t);
            made[i].taken = taken;
        }
    }
}

void CopyTime(SYSTEMTIME& to, const SYSTEMTIME& from) {
    to.wYear = from.wYear;
    to.wMonth = from.wMonth;
    to.wDayOfWeek = from.wDayOfWeek;
    to.wDay = from.wDay;
    to.wHour = from.wHour;
    to.wMinute = from.wMinute;
    to.wSecond = from.wSecond;
    to.wMilliseconds = from.wMilliseconds;
}

void DumpSystemTime(const SYSTEMTIME& t) {
    NKDbgPrintfW(L"---------------------\r\n");
    NKDbgPrintfW(L"Year:      %d\r\n", static_cast<unsigned>(t.wYear));
    NKDbgPrintfW(L"Month:     %d\r\n", static_cast<unsigned>(t.wMonth));
    NKDbgPrintfW(L"Day:       %d\r\n", static_cast<unsigned>(t.wDay));
    NKDbgPrintfW(L"DayOfWeek: %d\r\n", static_cast<unsigned>(t.wDayOfWeek));
    NKDbgPrintfW(L"Hour:      %d\r\n", static_cast<unsigned>(t.wHour));
    NKDbgPrintfW(L"Min:       %d\r\n", static_cast<unsigned>(t.wMinute));
    NKDbgPrintfW(L"Sec:       %d\r\n", static_cast<unsigned>(t.wSecond));
    NKDbgPrintfW(L"mSec:      %d\r\n", static_cast<unsigned>(t.wMilliseconds));
    NKDbgPrintfW(L"---------------------\r\n");
}
