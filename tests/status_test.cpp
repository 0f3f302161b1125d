// What the status program tells the owner, composed from what it found:
// each case the one message an owner acts on.
#include <gtest/gtest.h>

#include <string>

#include "status.h"

namespace {

SYSTEMTIME Day(int year, int month, int day) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = 23;
    t.wMinute = 59;
    return t;
}

// The set as found: each program's file, whether it is due and held.
struct Found {
    bool file_there[3];
    bool held[3];
    SYSTEMTIME due_at[3];
};

std::string Compose(const SYSTEMTIME& now, const Found& f) {
    const LPCWSTR paths[] = {L"\\Windows\\nuv.exe", L"\\Windows\\nuv28.exe", L"\\Windows\\nuv29.exe"};
    FixerStatus fixers[3];
    for (int i = 0; i < 3; ++i) {
        fixers[i] = {paths[i], f.file_there[i], DateExists(f.due_at[i]), f.due_at[i], f.held[i],
                     f.due_at[i]};
    }
    WCHAR text[STATUS_TEXT_SIZE];
    ComposeStatus(now, fixers, 3, text);
    return std::string(text, text + std::wcslen(text));
}

TEST(Status, EachFindingGivesTheOneMessageToActOn) {
    const SYSTEMTIME common_year = Day(2026, 12, 10);  // 29 February 2027 does not exist
    const SYSTEMTIME before_leap = Day(2027, 3, 10);   // the next three checks all exist
    const SYSTEMTIME due_2026[] = {Day(2026, 12, 31), Day(2027, 2, 28), Day(2027, 2, 29)};
    const SYSTEMTIME due_2027[] = {Day(2027, 12, 31), Day(2028, 2, 28), Day(2028, 2, 29)};
    const struct {
        const char* what;
        SYSTEMTIME now;
        Found found;
        const char* says;
    } cases[] = {
        {"on, the leap day a year away not yet set and no fault",
         common_year,
         {{true, true, true}, {true, true, false}, {due_2026[0], due_2026[1], due_2026[2]}},
         "Clock fix is on. Your handheld will check its clock at 23:59 (11:59 PM) on "
         "31 December 2026 and 28 February 2027."},
        {"on, three checks in date order",
         before_leap,
         {{true, true, true}, {true, true, true}, {due_2027[0], due_2027[1], due_2027[2]}},
         "Clock fix is on. Your handheld will check its clock at 23:59 (11:59 PM) on "
         "31 December 2027, 28 February 2028 and 29 February 2028."},
        {"one file missing: install again",
         common_year,
         {{true, false, true}, {true, true, false}, {due_2026[0], due_2026[1], due_2026[2]}},
         "Clock fix is not complete: nuv28.exe is missing from My Device, Windows. Install "
         "Clock fix again from the copy on your PC."},
        {"two files missing",
         common_year,
         {{false, true, false}, {true, true, false}, {due_2026[0], due_2026[1], due_2026[2]}},
         "Clock fix is not complete: nuv.exe and nuv29.exe are missing from My Device, Windows. "
         "Install Clock fix again from the copy on your PC."},
        {"a check the platform does not hold: tap again",
         before_leap,
         {{true, true, true}, {true, true, false}, {due_2027[0], due_2027[1], due_2027[2]}},
         "Clock fix could not set the handheld to check its clock on 29 February 2028. Tap "
         "Start, Programs, Clock fix again. If this message comes back, install Clock fix "
         "again."},
        {"a clock reset to 2003: set the date first, whatever else is found",
         Day(2003, 1, 1),
         {{false, true, true}, {false, false, false}, {due_2026[0], due_2026[1], due_2026[2]}},
         "The handheld's clock shows 1 January 2003, a date before Clock fix was made, so it "
         "cannot be right. Set the date and time first (Start, Settings, System tab, Clock & "
         "Alarms), then tap Start, Programs, Clock fix again."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compose(c.now, c.found), c.says) << c.what;
    }
}

TEST(Status, ALongMessageStopsAtTheEndOfItsBuffer) {
    WCHAR text[STATUS_TEXT_SIZE];
    FixerStatus many[MAX_FIXERS + 4];
    for (FixerStatus& f : many) {
        f = {L"\\Windows\\a-program-with-a-long-name-past-what-the-box-holds.exe", false, true,
             Day(2027, 2, 28), false, Day(2027, 2, 28)};
    }
    ComposeStatus(Day(2026, 12, 10), many, MAX_FIXERS + 4, text);
    EXPECT_LT(std::wcslen(text), STATUS_TEXT_SIZE);
    EXPECT_EQ(std::wstring(text).rfind(L"Clock fix is not complete: ", 0), 0U);
}

}  // namespace
