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

struct CE_USER_NOTIFICATION;

// What starts a notification: for a timed launch (CNT_TIME) the program's
// path and the time.
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

static const DWORD CNT_TIME = 2;
static const UINT MB_OK = 0;
static const DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

extern "C" {

/// Lists the stored notifications: up to `cHandles` handles into
/// `rghNotifications`, and how many there are into `pcHandlesNeeded`;
/// FALSE when they do not fit.
BOOL CeGetUserNotificationHandles(HANDLE* rghNotifications, DWORD cHandles,
                                  DWORD* pcHandlesNeeded);

/// Fills `pBuffer` (DWORD-aligned, `cBufferSize` bytes) with the
/// notification `hNotification`: a CE_NOTIFICATION_INFO_HEADER, its trigger
/// and their strings; FALSE, with the size needed in `pcBytesNeeded`, when
/// it does not fit, and FALSE for a handle that names no notification.
BOOL CeGetUserNotification(HANDLE hNotification, UINT cBufferSize, DWORD* pcBytesNeeded,
                           BYTE* pBuffer);

/// The attributes of the file at `lpFileName`, or INVALID_FILE_ATTRIBUTES
/// when there is none.
DWORD GetFileAttributesW(LPCWSTR lpFileName);

/// Shows `lpText` under `lpCaption` until the owner taps OK.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

}  // extern "C"

#endif  // _WIN32_WCE
