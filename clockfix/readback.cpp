#include "readback.h"

#include "paths.h"

namespace {

// A record on the stack first: our own launches fit; another program's
// reminder, with its texts and sound, may need the size the store names.
enum { RECORD_WORDS = 64, LIST_TRIES = 3, MAX_HANDLES = 0x100000 };

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay &&
           a.wHour == b.wHour && a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// Which type the store keeps a CeRunAppAtTime request under is not
// documented: any timed one will do.
bool TimeBased(DWORD type) {
    return type == CNT_TIME || type == CNT_PERIOD || type == CNT_CLASSICTIME;
}

// Marks the programs whose timed launch `info` is.
void Match(const CE_NOTIFICATION_INFO_HEADER& info, FixerStatus* fixers, unsigned count) {
    const CE_NOTIFICATION_TRIGGER* t = info.pcent;
    if (t == 0 || !TimeBased(t->dwType) || t->lpszApplication == 0) {
        return;
    }
    for (unsigned i = 0; i < count; ++i) {
        FixerStatus& f = fixers[i];
        if (SamePath(t->lpszApplication, f.path)) {
            if (SameTime(t->stStartTime, f.due_at)) {
                f.held = HELD_AT_DUE;
            } else if (f.held != HELD_AT_DUE) {
                f.held = HELD_ELSEWHEN;
            }
        }
    }
}

// Reads notification `h` and marks what it holds; false when it could not
// be read, so that it may have been one of ours.
bool ReadOne(HANDLE h, FixerStatus* fixers, unsigned count) {
    DWORD record[RECORD_WORDS];  // DWORD-aligned, as the service wants it
    DWORD needed = 0;
    if (CeGetUserNotification(h, static_cast<UINT>(sizeof record), &needed,
                              reinterpret_cast<BYTE*>(record)) != FALSE) {
        Match(*reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(record), fixers, count);
        return true;
    }
    if (needed == 0) {
        return false;  // refused: whether withdrawn since it was listed cannot be told
    }
    BYTE* large = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, needed));
    if (large == 0) {
        return false;
    }
    const bool read = CeGetUserNotification(h, needed, &needed, large) != FALSE;
    if (read) {
        Match(*reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(large), fixers, count);
    }
    LocalFree(large);
    return read;
}

// Every handle the store holds, into `handles` (from LocalAlloc, 0 when
// none; the caller gives it back); false when the store could not be listed.
bool ListHandles(HANDLE*& handles, DWORD& listed) {
    handles = 0;
    listed = 0;
    DWORD needed = 0;
    if (CeGetUserNotificationHandles(0, 0, &needed) != FALSE && needed == 0) {
        return true;  // nothing stored at all
    }
    for (unsigned i = 0; i < LIST_TRIES && needed != 0 && needed <= MAX_HANDLES; ++i) {
        handles = static_cast<HANDLE*>(LocalAlloc(LMEM_FIXED, needed * sizeof(HANDLE)));
        if (handles == 0) {
            return false;
        }
        DWORD now = 0;
        if (CeGetUserNotificationHandles(handles, needed, &now) != FALSE) {
            listed = now < needed ? now : needed;
            return true;
        }
        LocalFree(handles);
        handles = 0;
        if (now <= needed) {
            return false;  // it failed, not for room
        }
        needed = now;  // more were stored meanwhile
    }
    return false;
}

}  // namespace

void ReadBack(FixerStatus* fixers, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        fixers[i].file_there = GetFileAttributesW(fixers[i].path) != INVALID_FILE_ATTRIBUTES;
        fixers[i].held = HELD_NOT;
    }
    HANDLE* handles = 0;
    DWORD listed = 0;
    bool whole = ListHandles(handles, listed);
    for (DWORD h = 0; h < listed; ++h) {
        whole = ReadOne(handles[h], fixers, count) && whole;
    }
    if (handles != 0) {
        LocalFree(handles);
    }
    for (unsigned i = 0; i < count; ++i) {
        if (!whole && fixers[i].held == HELD_NOT) {
            fixers[i].held = HELD_UNKNOWN;
        }
    }
}
