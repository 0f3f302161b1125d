// Stand-in for the SDK's <notify.h>: timed application launch, as documented.
#ifndef NUV_SDK_STANDIN_NOTIFY_H
#define NUV_SDK_STANDIN_NOTIFY_H

#include <windows.h>

extern "C" BOOL WINAPI CeRunAppAtTime(WCHAR* pwszAppName, SYSTEMTIME* lpTime);

#endif
