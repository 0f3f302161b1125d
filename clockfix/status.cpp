#include "status.h"

#include "built.h"
#include "leap_year.h"

namespace {

const WCHAR* const kMonths[] = {L"January", L"February", L"March",     L"April",
                                L"May",     L"June",     L"July",      L"August",
                                L"September", L"October", L"November", L"December"};

// A text being written, never past its last character.
struct Text {
    WCHAR* at;
    WCHAR* end;  // the place of the closing NUL
};

void Put(Text& t, const WCHAR* s) {
    while (*s != 0 && t.at < t.end) {
        *t.at++ = *s++;
    }
    *t.at = 0;
}

void PutNumber(Text& t, unsigned n) {
    WCHAR digits[12];
    unsigned count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(L'0' + n % 10);
        n /= 10;
    } while (n != 0);
    WCHAR reversed[12];
    for (unsigned i = 0; i < count; ++i) {
        reversed[i] = digits[count - 1 - i];
    }
    reversed[count] = 0;
    Put(t, reversed);
}

// "31 December 2026".
void PutDate(Text& t, const SYSTEMTIME& d) {
    PutNumber(t, d.wDay);
    Put(t, L" ");
    Put(t, d.wMonth >= 1 && d.wMonth <= 12 ? kMonths[d.wMonth - 1] : L"?");
    Put(t, L" ");
    PutNumber(t, d.wYear);
}

// The file's name, after the path's last backslash.
const WCHAR* FileName(const WCHAR* path) {
    const WCHAR* name = path;
    for (const WCHAR* c = path; *c != 0; ++c) {
        if (*c == L'\\') {
            name = c + 1;
        }
    }
    return name;
}

bool Earlier(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    if (a.wYear != b.wYear) {
        return a.wYear < b.wYear;
    }
    return a.wMonth != b.wMonth ? a.wMonth < b.wMonth : a.wDay < b.wDay;
}

bool BeforeBuilt(const SYSTEMTIME& now) {
    SYSTEMTIME built = now;
    built.wYear = static_cast<WORD>(BUILT_YEAR);
    built.wMonth = static_cast<WORD>(BUILT_MONTH);
    built.wDay = static_cast<WORD>(BUILT_DAY);
    return Earlier(now, built);
}

typedef bool (*Pick)(const FixerStatus&);
typedef void (*Write)(Text&, const FixerStatus&);

// "a, b and c" of the programs `pick` chooses, in `order`, each written by `put`.
void PutList(Text& t, const FixerStatus* fixers, const unsigned* order, unsigned count, Pick pick,
             Write put) {
    unsigned total = 0;
    for (unsigned i = 0; i < count; ++i) {
        total += pick(fixers[order[i]]) ? 1 : 0;
    }
    unsigned written = 0;
    for (unsigned i = 0; i < count; ++i) {
        const FixerStatus& f = fixers[order[i]];
        if (pick(f)) {
            Put(t, written == 0 ? L"" : written + 1 == total ? L" and " : L", ");
            put(t, f);
            ++written;
        }
    }
}

bool Missing(const FixerStatus& f) { return !f.file_there; }
// A check the platform refused, or holds not at all or at another time.
bool NotSet(const FixerStatus& f) {
    return f.file_there && f.due && (!f.asked || f.held == HELD_NOT || f.held == HELD_ELSEWHEN);
}
bool Unchecked(const FixerStatus& f) {
    return f.file_there && f.due && f.asked && f.held == HELD_UNKNOWN;
}
bool Due(const FixerStatus& f) { return f.due; }
void PutFile(Text& t, const FixerStatus& f) { Put(t, FileName(f.path)); }
void PutDueDate(Text& t, const FixerStatus& f) { PutDate(t, f.due_at); }

// The programs' indices with the due checks first, in date order.
void SortByDate(const FixerStatus* fixers, unsigned count, unsigned* order) {
    for (unsigned i = 0; i < count; ++i) {
        unsigned at = i;
        while (at > 0 && fixers[i].due &&
               (!fixers[order[at - 1]].due || Earlier(fixers[i].due_at, fixers[order[at - 1]].due_at))) {
            order[at] = order[at - 1];
            --at;
        }
        order[at] = i;
    }
}

unsigned CountOf(const FixerStatus* fixers, unsigned count, bool (*pick)(const FixerStatus&)) {
    unsigned n = 0;
    for (unsigned i = 0; i < count; ++i) {
        n += pick(fixers[i]) ? 1 : 0;
    }
    return n;
}

}  // namespace

bool DateExists(const SYSTEMTIME& t) {
    return !(t.wMonth == 2 && t.wDay == 29 && IsLeapYear(static_cast<int32_t>(t.wYear)) == 0);
}

namespace {

// The way to start Clock fix that exists on this handheld: the Start
// menu's shortcut the installer made, or, installed by hand, the file.
const WCHAR* TapAgain(bool in_start_menu, bool capital) {
    if (in_start_menu) {
        return capital ? L"Tap Start, Programs, Clock fix again." : L"tap Start, Programs, Clock fix again.";
    }
    return capital ? L"Open File Explorer, My Device, Windows, and tap clockfix again."
                   : L"open File Explorer, My Device, Windows, and tap clockfix again.";
}

void PutClockWrong(Text& t, const SYSTEMTIME& now, bool in_start_menu) {
    Put(t, L"The handheld's clock shows ");
    PutDate(t, now);
    Put(t, L", a date before Clock fix was made, so it cannot be right. Set the date and "
           L"time first (Start, Settings, System tab, Clock & Alarms), then ");
    Put(t, TapAgain(in_start_menu, false));
}

void PutMissing(Text& t, const FixerStatus* fixers, const unsigned* order, unsigned count,
                bool in_start_menu) {
    const bool one = CountOf(fixers, count, Missing) == 1;
    Put(t, L"Clock fix is not complete: ");
    PutList(t, fixers, order, count, Missing, PutFile);
    Put(t, one ? L" is" : L" are");
    Put(t, L" missing from My Device, Windows. ");
    if (in_start_menu) {
        Put(t, L"Install Clock fix again from the copy on your PC.");
        return;
    }
    Put(t, one ? L"Copy it" : L"Copy them");
    Put(t, L" again from the folder manual-install on your PC into My Device, Windows, then ");
    Put(t, TapAgain(false, false));
}

void PutNotSet(Text& t, const FixerStatus* fixers, const unsigned* by_date, unsigned count,
               bool in_start_menu) {
    Put(t, L"Clock fix could not set the handheld to check its clock on ");
    PutList(t, fixers, by_date, count, NotSet, PutDueDate);
    Put(t, L". ");
    Put(t, TapAgain(in_start_menu, true));
    // Installing again mends a set the handheld refused, not one it would not show.
    if (CountOf(fixers, count, Unchecked) == 0) {
        Put(t, in_start_menu ? L" If this message comes back, install Clock fix again."
                             : L" If this message comes back, copy the four files again.");
    }
}

void PutArmed(Text& t, const FixerStatus* fixers, const unsigned* by_date, unsigned count) {
    const bool checked = CountOf(fixers, count, Unchecked) == 0;
    Put(t, checked ? L"Clock fix is on. Your handheld will check its clock at 23:59 (11:59 PM) on "
                   : L"Clock fix has set your handheld to check its clock at 23:59 (11:59 PM) on ");
    PutList(t, fixers, by_date, count, Due, PutDueDate);
    Put(t, checked ? L"." : L"; the handheld did not let it check.");
}

}  // namespace

UINT ComposeStatus(const SYSTEMTIME& now, const FixerStatus* fixers, unsigned count, WCHAR* text,
                   bool in_start_menu) {
    Text t = {text, text + STATUS_TEXT_SIZE - 1};
    *text = 0;
    unsigned listed[MAX_FIXERS];
    unsigned by_date[MAX_FIXERS];
    count = count < MAX_FIXERS ? count : MAX_FIXERS;
    for (unsigned i = 0; i < count; ++i) {
        listed[i] = i;
    }
    SortByDate(fixers, count, by_date);
    if (BeforeBuilt(now)) {
        PutClockWrong(t, now, in_start_menu);
    } else if (CountOf(fixers, count, Missing) > 0) {
        PutMissing(t, fixers, listed, count, in_start_menu);
    } else if (CountOf(fixers, count, NotSet) > 0) {
        PutNotSet(t, fixers, by_date, count, in_start_menu);
    } else {
        PutArmed(t, fixers, by_date, count);
        return MB_ICONINFORMATION;
    }
    return MB_ICONEXCLAMATION;
}

namespace {

bool SameText(const WCHAR* a, const WCHAR* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

}  // namespace

bool StartedByClockChange(LPCWSTR command_line) {
    return command_line != 0 && (SameText(command_line, APP_RUN_AFTER_TIME_CHANGE) ||
                                 SameText(command_line, APP_RUN_AFTER_TZ_CHANGE));
}
