#include "fixer_list.h"
#include "readback.h"
#include "rearm.h"
#include "status.h"

namespace {

#define STATUS_WIDE_(text) L##text
#define STATUS_WIDE(text) STATUS_WIDE_(text)
#define STATUS_PATH(program, dir, path) STATUS_WIDE(path)
const LPCWSTR kOwnPath = STATUS_PROGRAM(STATUS_PATH);
#undef STATUS_PATH
// The Start menu's shortcut the installer makes; installed by hand, there is none.
const LPCWSTR kShortcut = L"\\Windows\\Start Menu\\Programs\\" STATUS_WIDE(STATUS_SHORTCUT_NAME) L".lnk";

// Started again whenever the clock or the time zone is set, so that the
// timed launches follow the date the owner (or ActiveSync) set. Withdrawn
// first, so that a platform that keeps a request each time keeps one.
void FollowClockChanges() {
    WCHAR* self = const_cast<WCHAR*>(kOwnPath);
    CeRunAppAtEvent(self, NOTIFICATION_EVENT_NONE);
    CeRunAppAtEvent(self, NOTIFICATION_EVENT_TIME_CHANGE);
    CeRunAppAtEvent(self, NOTIFICATION_EVENT_TZ_CHANGE);
}

// The name every instance opens: one that finds it open knows another
// instance runs (showing its box, say), and, as the platform asks of a
// second instance, does its work and ends without a box of its own.
const LPCWSTR kInstanceName = L"Clock fix status";

// Says in one box whether the set `made` is armed. The box comes to the
// front itself: this program has no window, and the installer's or the
// Today screen's is in front.
void ShowBox(const Registration* made) {
    FixerStatus fixers[MAX_FIXERS];
    const unsigned count = FixerCount() < MAX_FIXERS ? FixerCount() : MAX_FIXERS;
    for (unsigned i = 0; i < count; ++i) {
        fixers[i].path = FixerPath(i);
        CopyTime(fixers[i].due_at, made[i].at);
        fixers[i].due = DateExists(made[i].at);
        fixers[i].asked = made[i].taken != FALSE;
    }
    ReadBack(fixers, count);
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR text[STATUS_TEXT_SIZE];
    const bool in_start_menu = GetFileAttributesW(kShortcut) != INVALID_FILE_ATTRIBUTES;
    const UINT icon = ComposeStatus(now, fixers, count, text, in_start_menu);
    MessageBoxW(0, text, L"Clock fix", MB_OK | MB_SETFOREGROUND | icon);
}

}  // namespace

int ShowStatus(LPCWSTR command_line) {
    const HANDLE instance = CreateMutexW(0, FALSE, kInstanceName);
    const bool alone = instance == 0 || GetLastError() != ERROR_ALREADY_EXISTS;
    Registration made[MAX_FIXERS];
    RearmFixers(made, MAX_FIXERS);
    FollowClockChanges();
    if (alone && !StartedByClockChange(command_line)) {
        ShowBox(made);
    }
    if (instance != 0) {
        CloseHandle(instance);
    }
    return 0;
}
