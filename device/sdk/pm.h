// Stand-in for the SDK's <pm.h>: the power-manager notification, as documented.
#ifndef NUV_SDK_STANDIN_PM_H
#define NUV_SDK_STANDIN_PM_H

#include <windows.h>

#define PPN_UNATTENDEDMODE 0x0003

extern "C" DWORD WINAPI PowerPolicyNotify(DWORD dwMessage, DWORD dwData);

#endif
