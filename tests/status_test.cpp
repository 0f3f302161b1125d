// What the status program tells the owner, composed from what it found:
// each case the one message an owner acts on, and the icon it shows.
#include <gtest/gtest.h>

#include <string>

#include "paths.h"
#include "rearm.h"
#include "status.h"

namespace {

SYSTEMTIME Day(int year, int month, int day) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = 12;
    return t;
}

struct Box {
    std::string text;
    UINT icon;
};

// The set as the re-arming leaves it on `now` on a handheld that keeps
// every date that exists, then `change` applied to what was found. Past
// the three, a program whose file is missing: read, it would show.
Box Compose(const SYSTEMTIME& now, void (*change)(FixerStatus*) = nullptr,
            bool in_start_menu = true) {
    FixerStatus fixers[4];
    for (unsigned i = 0; i < 3; ++i) {
        const SYSTEMTIME due = RearmTime(i, now);
        const bool exists = DateExists(due);
        fixers[i] = {FixerPath(i), true, exists, due, exists, exists ? HELD_AT_DUE : HELD_NOT};
    }
    fixers[3] = {L"\\Windows\\past-the-end.exe", false, true, now, false, HELD_NOT};
    if (change != nullptr) {
        change(fixers);
    }
    WCHAR text[STATUS_TEXT_SIZE];
    const UINT icon = ComposeStatus(now, fixers, 3, text, in_start_menu);
    return {std::string(text, text + std::wcslen(text)), icon};
}

const char kOn[] = "Clock fix is on. Your handheld will check its clock at 23:59 (11:59 PM) on ";

// The dates a program is set for follow the calendar: 29 February only in
// a leap year (not 2031, divisible by 3; not 2100), in date order however
// the year begins, and a clock before the release is never trusted.
TEST(Status, TheBoxOnTheDatesThatMatter) {
    const struct {
        const char* what;
        SYSTEMTIME now;
        const char* says;
    } cases[] = {
        {"December of a common year", Day(2026, 12, 10),
         "31 December 2026 and 28 February 2027."},
        {"the release day itself", Day(2026, 12, 7), "31 December 2026 and 28 February 2027."},
        {"January before a common February", Day(2027, 1, 10),
         "28 February 2027 and 31 December 2027."},
        {"February 28 itself", Day(2027, 2, 28), "28 February 2027 and 31 December 2027."},
        {"January of a leap year: three checks, in date order", Day(2028, 1, 10),
         "28 February 2028, 29 February 2028 and 31 December 2028."},
        {"February 29 itself", Day(2028, 2, 29),
         "29 February 2028, 31 December 2028 and 28 February 2029."},
        {"March before a leap year", Day(2027, 3, 10),
         "31 December 2027, 28 February 2028 and 29 February 2028."},
        {"March before 2031, a common year divisible by 3", Day(2030, 3, 10),
         "31 December 2030 and 28 February 2031."},
        {"March before 2100, a common year divisible by 100", Day(2099, 3, 10),
         "31 December 2099 and 28 February 2100."},
        {"March before 2400, a leap year divisible by 400", Day(2399, 3, 10),
         "31 December 2399, 28 February 2400 and 29 February 2400."},
    };
    for (const auto& c : cases) {
        const Box box = Compose(c.now);
        EXPECT_EQ(box.text, kOn + std::string(c.says)) << c.what;
        EXPECT_EQ(box.icon, MB_ICONINFORMATION) << c.what;
    }
}

TEST(Status, AClockBeforeTheReleaseIsSetFirst) {
    const struct {
        SYSTEMTIME now;
        const char* shown;
    } cases[] = {
        {Day(2003, 1, 1), "1 January 2003"},  // a cold boot's
        {Day(2026, 12, 6), "6 December 2026"},
        {Day(2026, 11, 30), "30 November 2026"},
        {Day(2026, 6, 7), "7 June 2026"},
    };
    for (const auto& c : cases) {
        const Box box = Compose(c.now);
        EXPECT_EQ(box.text, "The handheld's clock shows " + std::string(c.shown) +
                                ", a date before Clock fix was made, so it cannot be right. Set "
                                "the date and time first (Start, Settings, System tab, Clock & "
                                "Alarms), then tap Start, Programs, Clock fix again.");
        EXPECT_EQ(box.icon, MB_ICONEXCLAMATION) << c.shown;
    }
}

// Each finding on 10 March 2027, when all three dates exist: nuv for
// 31 December 2027, nuv28 and nuv29 for 28 and 29 February 2028.
TEST(Status, EachFindingGivesTheOneMessageToActOn) {
    const char kTapAgain[] = ". Tap Start, Programs, Clock fix again.";
    const char kInstallAgain[] = " If this message comes back, install Clock fix again.";
    const struct {
        const char* what;
        void (*change)(FixerStatus*);
        std::string says;
        UINT icon;
    } cases[] = {
        {"one file missing: install again", [](FixerStatus* f) { f[1].file_there = false; },
         "Clock fix is not complete: nuv28.exe is missing from My Device, Windows. Install "
         "Clock fix again from the copy on your PC.",
         MB_ICONEXCLAMATION},
        {"two files missing, whatever else",
         [](FixerStatus* f) { f[0].file_there = f[2].file_there = false, f[1].asked = false; },
         "Clock fix is not complete: nuv.exe and nuv29.exe are missing from My Device, Windows. "
         "Install Clock fix again from the copy on your PC.",
         MB_ICONEXCLAMATION},
        {"a request the platform refused", [](FixerStatus* f) { f[2].asked = false; },
         std::string("Clock fix could not set the handheld to check its clock on 29 February "
                     "2028") + kTapAgain + kInstallAgain,
         MB_ICONEXCLAMATION},
        {"a launch the store does not hold", [](FixerStatus* f) { f[0].held = HELD_NOT; },
         std::string("Clock fix could not set the handheld to check its clock on 31 December "
                     "2027") + kTapAgain + kInstallAgain,
         MB_ICONEXCLAMATION},
        {"a launch held at another time is not on, listed by date",
         [](FixerStatus* f) { f[0].held = f[1].held = HELD_ELSEWHEN; },
         std::string("Clock fix could not set the handheld to check its clock on 31 December "
                     "2027 and 28 February 2028") +
             kTapAgain + kInstallAgain,
         MB_ICONEXCLAMATION},
        {"a store that could not be read: what was set, and no advice to install",
         [](FixerStatus* f) { f[0].held = f[1].held = f[2].held = HELD_UNKNOWN; },
         "Clock fix has set your handheld to check its clock at 23:59 (11:59 PM) on 31 December "
         "2027, 28 February 2028 and 29 February 2028; the handheld did not let it check.",
         MB_ICONINFORMATION},
        {"a refusal on a store that could not be read: tap again, no advice to install",
         [](FixerStatus* f) { f[0].asked = false, f[1].held = f[2].held = HELD_UNKNOWN; },
         std::string("Clock fix could not set the handheld to check its clock on 31 December "
                     "2027") + kTapAgain,
         MB_ICONEXCLAMATION},
    };
    for (const auto& c : cases) {
        const Box box = Compose(Day(2027, 3, 10), c.change);
        EXPECT_EQ(box.text, c.says) << c.what;
        EXPECT_EQ(box.icon, c.icon) << c.what;
    }
}

// Installed by hand there is no shortcut: each message that says what to
// tap names File Explorer instead, and what to copy instead of installing.
TEST(Status, WithoutTheShortcutEveryMessageNamesTheWayThatExists) {
    const char kOpen[] = "open File Explorer, My Device, Windows, and tap clockfix again.";
    const struct {
        const char* what;
        SYSTEMTIME now;
        void (*change)(FixerStatus*);
        std::string says;
    } cases[] = {
        {"a clock before the release", Day(2003, 1, 1), nullptr,
         std::string("The handheld's clock shows 1 January 2003, a date before Clock fix was "
                     "made, so it cannot be right. Set the date and time first (Start, Settings, "
                     "System tab, Clock & Alarms), then ") + kOpen},
        {"one file missing", Day(2027, 3, 10), [](FixerStatus* f) { f[1].file_there = false; },
         std::string("Clock fix is not complete: nuv28.exe is missing from My Device, Windows. "
                     "Copy it again from the folder manual-install on your PC into My Device, "
                     "Windows, then ") + kOpen},
        {"two files missing", Day(2027, 3, 10),
         [](FixerStatus* f) { f[0].file_there = f[2].file_there = false; },
         std::string("Clock fix is not complete: nuv.exe and nuv29.exe are missing from My "
                     "Device, Windows. Copy them again from the folder manual-install on your "
                     "PC into My Device, Windows, then ") + kOpen},
        {"a request refused", Day(2027, 3, 10), [](FixerStatus* f) { f[2].asked = false; },
         "Clock fix could not set the handheld to check its clock on 29 February 2028. Open "
         "File Explorer, My Device, Windows, and tap clockfix again. If this message comes back, "
         "copy the four files again."},
        {"all set: the same words either way", Day(2027, 3, 10), nullptr,
         std::string(kOn) + "31 December 2027, 28 February 2028 and 29 February 2028."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compose(c.now, c.change, false).text, c.says) << c.what;
        EXPECT_EQ(Compose(c.now, c.change, true).text.find("File Explorer"), std::string::npos)
            << c.what;
    }
}

// Only the command lines the platform gives for a change of the clock or
// of the time zone make a silent run; anything else is the owner's tap.
TEST(Status, OnlyTheClockChangeCommandLinesRunWithoutABox) {
    const struct {
        const WCHAR* command_line;
        bool silent;
    } cases[] = {
        {L"AppRunAfterTimeChange", true},  {L"AppRunAfterTzChange", true},
        {L"", false},                      {nullptr, false},
        {L"AppRunAtTime", false},          {L"AppRunAfterTimeChangeX", false},
        {L"AppRunAfterTimeChang", false},  {L"appRunAfterTimeChange", false},
        {L" AppRunAfterTzChange", false},  {L"AppRunAfterSync", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StartedByClockChange(c.command_line), c.silent)
            << (c.command_line != nullptr ? std::wstring(c.command_line).size() : 99);
    }
}

TEST(Status, ALongMessageStopsAtTheEndOfItsBuffer) {
    WCHAR text[STATUS_TEXT_SIZE + 2];
    text[STATUS_TEXT_SIZE] = text[STATUS_TEXT_SIZE + 1] = L'#';  // past the end: never written
    FixerStatus many[MAX_FIXERS + 4];
    const std::wstring name = L"\\Windows\\" + std::wstring(100, L'n') + L".exe";
    for (FixerStatus& f : many) {
        f = {name.c_str(), false, true, Day(2027, 2, 28), false, HELD_NOT};
    }
    ComposeStatus(Day(2026, 12, 10), many, MAX_FIXERS + 4, text);
    EXPECT_EQ(std::wcslen(text), STATUS_TEXT_SIZE - 1);  // filled to the last place
    EXPECT_EQ(text[STATUS_TEXT_SIZE], L'#');
    EXPECT_EQ(text[STATUS_TEXT_SIZE + 1], L'#');
    EXPECT_EQ(std::wstring(text).rfind(L"Clock fix is not complete: ", 0), 0U);
}

// A stored path names our program in any letter case, and nothing else does.
TEST(Status, PathsAreComparedAsThePlatformComparesThem) {
    const struct {
        const WCHAR* a;
        const WCHAR* b;
        bool same;
    } cases[] = {
        {L"\\Windows\\nuv.exe", L"\\Windows\\nuv.exe", true},
        {L"\\WINDOWS\\NUV28.EXE", L"\\windows\\nuv28.exe", true},
        {L"AZaz", L"azAZ", true},  // the first and last letters fold too
        {L"\\Windows\\nuv.exe", L"\\Windows\\nuv.ex", false},
        {L"\\Windows\\nuv.ex", L"\\Windows\\nuv.exe", false},
        {L"\\Storage Card\\nuv.exe", L"\\Windows\\nuv.exe", false},
        {L"@[", L"`{", false},  // next to the letters: no case to fold
        {L"", L"", true},
        {L"", L"a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SamePath(c.a, c.b), c.same) << std::wstring(c.a).size();
    }
}

}  // namespace
