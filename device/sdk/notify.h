// Stand-in for the SDK's <notify.h>: timed application launch and the
// notification database, as documented.
#ifndef NUV_SDK_STANDIN_NOTIFY_H
#define NUV_SDK_STANDIN_NOTIFY_H

#include <windows.h>

#define CNT_EVENT 1
#define CNT_TIME 2
#define CNT_PERIOD 3
#define CNT_CLASSICTIME 4

#define NOTIFICATION_EVENT_NONE 0
#define NOTIFICATION_EVENT_TIME_CHANGE 1
#define NOTIFICATION_EVENT_TZ_CHANGE 12

#define APP_RUN_AFTER_TIME_CHANGE L"AppRunAfterTimeChange"
#define APP_RUN_AFTER_TZ_CHANGE L"AppRunAfterTzChange"

typedef struct UserNotificationTrigger {
    DWORD dwSize;
    DWORD dwType;
    DWORD dwEvent;
    WCHAR* lpszApplication;
    WCHAR* lpszArguments;
    SYSTEMTIME stStartTime;
    SYSTEMTIME stEndTime;
} CE_NOTIFICATION_TRIGGER, *PCE_NOTIFICATION_TRIGGER;

typedef struct UserNotificationType {
    DWORD ActionFlags;
    WCHAR* pwszDialogTitle;
    WCHAR* pwszDialogText;
    WCHAR* pwszSound;
    DWORD nMaxSound;
    DWORD dwReserved;
} CE_USER_NOTIFICATION, *PCE_USER_NOTIFICATION;

typedef struct UserNotificationInfoHeader {
    HANDLE hNotification;
    DWORD dwStatus;
    CE_NOTIFICATION_TRIGGER* pcent;
    CE_USER_NOTIFICATION* pceun;
} CE_NOTIFICATION_INFO_HEADER, *PCE_NOTIFICATION_INFO_HEADER;

extern "C" {
BOOL WINAPI CeRunAppAtTime(WCHAR* pwszAppName, SYSTEMTIME* lpTime);
BOOL WINAPI CeRunAppAtEvent(WCHAR* pwszAppName, LONG lWhichEvent);
BOOL WINAPI CeGetUserNotificationHandles(HANDLE* rghNotifications, DWORD cHandles,
                                         LPDWORD pcHandlesNeeded);
BOOL WINAPI CeGetUserNotification(HANDLE hNotification, UINT cBufferSize, LPDWORD pcBytesNeeded,
                                  LPBYTE pBuffer);
}

#endif
