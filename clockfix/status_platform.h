// Boundary between the status program and the operating system: beside the
// services the re-arming calls (platform.h), the notification database,
// a file's attributes and one message box. The device build takes them
// from the SDK and COREDLL; the host build links the simulated device.
//
// The sources are C++03, as the programs' are.
#pragma once

#if defined(_WIN32_WCE)
#include <windows.h>
#include <notify.h>
#else

#include "platform.h"

typedef void* HANDLE;
typedef HANDLE HWND;
typedef uint8_t BYTE;
typedef unsigned int UINT;

typedef void* HLOCAL;

// What a notification shows the owner: a dialog, a sound.
struct CE_USER_NOTIFICATION {
    DWORD ActionFlags;
    WCHAR* pwszDialogTitle;
    WCHAR* pwszDialogText;
    WCHAR* pwszSound;
    DWORD nMaxSound;
    DWORD dwReserved;
};

// What starts a notification: for a timed one the program's path and the
// time; for an event one (CNT_EVENT) the event, and perhaps no program.
struct CE_NOTIFICATION_TRIGGER {
    DWORD dwSize;
    DWORD dwType;
    DWORD dwEvent;
    WCHAR* lpszApplication;
    WCHAR* lpszArguments;
    SYSTEMTIME stStartTime;
    SYSTEMTIME stEndTime;
};

// One stored notification as CeGetUserNotification returns it: its
// pointers point into the same buffer.
struct CE_NOTIFICATION_INFO_HEADER {
    HANDLE hNotification;
    DWORD dwStatus;
    CE_NOTIFICATION_TRIGGER* pcent;
    CE_USER_NOTIFICATION* pceun;
};

// Trigger types (notify.h).
static const DWORD CNT_EVENT = 1;
static const DWORD CNT_TIME = 2;
static const DWORD CNT_PERIOD = 3;
static const DWORD CNT_CLASSICTIME = 4;
// The command lines the platform starts a program with after the events
// it registered for (notify.h's APP_RUN_AFTER_*).
#define APP_RUN_AFTER_TIME_CHANGE L"AppRunAfterTimeChange"
#define APP_RUN_AFTER_TZ_CHANGE L"AppRunAfterTzChange"
// MessageBox styles (winuser.h).
static const UINT MB_OK = 0x00000000;
static const UINT MB_ICONEXCLAMATION = 0x00000030;
static const UINT MB_ICONINFORMATION = 0x00000040;
static const UINT MB_SETFOREGROUND = 0x00010000;
// LocalAlloc's flag for memory that does not move (winbase.h).
static const UINT LMEM_FIXED = 0x0000;
static const DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
// GetLastError after CreateMutexW found the name open already (winerror.h).
static const DWORD ERROR_ALREADY_EXISTS = 183;

extern "C" {

/// Lists the stored notifications of every program: up to `cHandles`
/// handles into `rghNotifications`, and how many there are into
/// `pcHandlesNeeded`; FALSE when they do not fit (learn the count with
/// NULL, 0 first), and FALSE with a count of 0 when the store fails.
BOOL CeGetUserNotificationHandles(HANDLE* rghNotifications, DWORD cHandles,
                                  DWORD* pcHandlesNeeded);

/// Fills `pBuffer` (DWORD-aligned, `cBufferSize` bytes) with the
/// notification `hNotification`: a CE_NOTIFICATION_INFO_HEADER, its trigger
/// and their strings; FALSE, with the size needed in `pcBytesNeeded`, when
/// it does not fit, and FALSE with a size of 0 for a handle that names no
/// notification.
BOOL CeGetUserNotification(HANDLE hNotification, UINT cBufferSize, DWORD* pcBytesNeeded,
                           BYTE* pBuffer);

/// The attributes of the file at `lpFileName`, or INVALID_FILE_ATTRIBUTES
/// when there is none.
DWORD GetFileAttributesW(LPCWSTR lpFileName);

/// Shows `lpText` under `lpCaption` (NULL: "Error") until the owner taps
/// OK; a program that is not in the foreground needs MB_SETFOREGROUND in
/// `uType`, or its box opens behind the foreground window.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

/// `uBytes` bytes from the process's heap (LMEM_FIXED), or NULL.
HLOCAL LocalAlloc(UINT uFlags, UINT uBytes);

/// Gives back what LocalAlloc gave: NULL, or `hMem` when it fails.
HLOCAL LocalFree(HLOCAL hMem);

/// A mutex named `lpName` (NULL: unnamed), for the calling process to
/// close; GetLastError then says ERROR_ALREADY_EXISTS when some process
/// holds that name already. `lpMutexAttributes` must be NULL.
HANDLE CreateMutexW(void* lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);

/// Why the last call that says so failed, or what it found.
DWORD GetLastError();

/// Gives back a handle the process was given.
BOOL CloseHandle(HANDLE hObject);

}  // extern "C"

#endif  // _WIN32_WCE
