#include "readback.h"

namespace {

enum { MAX_NOTIFICATIONS = 32, RECORD_WORDS = 128 };

// Field by field: a freestanding ARMv4 build has no memcpy for a record copy.
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

// Paths compared as the platform compares them: letters in either case.
bool SamePath(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        const WCHAR x = *a >= L'A' && *a <= L'Z' ? static_cast<WCHAR>(*a + 32) : *a;
        const WCHAR y = *b >= L'A' && *b <= L'Z' ? static_cast<WCHAR>(*b + 32) : *b;
        if (x != y) {
            return false;
        }
        if (x == 0) {
            return true;
        }
    }
}

// The time of the timed launch the platform holds for `path`; false when
// it holds none.
bool HeldLaunch(LPCWSTR path, SYSTEMTIME& at) {
    HANDLE handles[MAX_NOTIFICATIONS];
    DWORD count = 0;
    if (CeGetUserNotificationHandles(handles, MAX_NOTIFICATIONS, &count) == FALSE) {
        return false;
    }
    for (DWORD i = 0; i < count && i < MAX_NOTIFICATIONS; ++i) {
        DWORD record[RECORD_WORDS];  // DWORD-aligned, as the service wants it
        DWORD needed = 0;
        if (CeGetUserNotification(handles[i], static_cast<UINT>(sizeof record), &needed,
                                  reinterpret_cast<BYTE*>(record)) == FALSE) {
            continue;
        }
        const CE_NOTIFICATION_INFO_HEADER* info =
            reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(record);
        const CE_NOTIFICATION_TRIGGER* trigger = info->pcent;
        if (trigger != 0 && trigger->dwType == CNT_TIME && trigger->lpszApplication != 0 &&
            SamePath(trigger->lpszApplication, path)) {
            CopyTime(at, trigger->stStartTime);
            return true;
        }
    }
    return false;
}

}  // namespace

void ReadBack(LPCWSTR path, const SYSTEMTIME& due_at, FixerStatus& f) {
    f.path = path;
    f.file_there = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    f.due = DateExists(due_at);
    CopyTime(f.due_at, due_at);
    f.held = HeldLaunch(path, f.at);
}
