// Boundary between the fixer programs and the operating system.
//
// The programs call exactly the seven core-library services declared here and
// reach the RTC through ReadRegister/WriteRegister. The device build takes the
// services from COREDLL; the host build links a simulated device instead. No
// program source includes anything else of the platform.
//
// The sources are C++03: the device SDK's compilers know no later standard.
#pragma once

#if defined(_WIN32_WCE)
// The device SDK declares the services; SetKMode, exported by COREDLL but
// declared only in the platform builder's headers, is declared here.
#include <windows.h>
#include <notify.h>
#include <pm.h>
extern "C" BOOL SetKMode(BOOL fMode);
#ifndef SH_SHELL
#define SH_SHELL 21
#endif

// The SDK's compilers ship no <stdint.h>: the fixed-width names, from the
// SDK's own types.
typedef BYTE uint8_t;
typedef WORD uint16_t;
typedef DWORD uint32_t;
typedef LONG int32_t;
#else

#include <stdint.h>


typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef wchar_t WCHAR;
typedef const WCHAR* LPCWSTR;
typedef int32_t LONG;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// The platform's date-and-time record: eight unsigned 16-bit fields.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// API set id of the shell, whose readiness covers timed application launch.
static const DWORD SH_SHELL = 21;
// System events a program can be started at (notify.h); NONE withdraws them all.
static const LONG NOTIFICATION_EVENT_NONE = 0;
static const LONG NOTIFICATION_EVENT_TIME_CHANGE = 1;
static const LONG NOTIFICATION_EVENT_TZ_CHANGE = 12;
// Power-manager notification that asks for (TRUE) or gives up (FALSE) unattended mode.
static const DWORD PPN_UNATTENDEDMODE = 3;

extern "C" {

/// Switches the thread into (TRUE) or out of kernel mode; returns the mode it had.
BOOL SetKMode(BOOL fMode);

/// Appends one formatted line to the debug output. Understands %x and %d;
/// the arguments are unsigned ints. Formats carry their own "\r\n".
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);

/// Nonzero once the API set `hAPI` (SH_SHELL) accepts calls.
BOOL IsAPIReady(DWORD hAPI);

/// Suspends the calling thread for `dwMilliseconds`.
void Sleep(DWORD dwMilliseconds);

/// Fills `lpSystemTime` with the current local date and time.
void GetLocalTime(SYSTEMTIME* lpSystemTime);

/// Registers program `pwszAppName` to be started at local time `lpTime`;
/// a later registration of the same path replaces the earlier one. Neither
/// is written to; the pointers are not const because the SDK declares them so.
BOOL CeRunAppAtTime(WCHAR* pwszAppName, SYSTEMTIME* lpTime);

/// Registers program `pwszAppName` to be started, with the command line that
/// names the event, whenever `lWhichEvent` occurs; NOTIFICATION_EVENT_NONE
/// withdraws every event registration of the program.
BOOL CeRunAppAtEvent(WCHAR* pwszAppName, LONG lWhichEvent);

/// Sends a power-manager notification; the fixers only use PPN_UNATTENDEDMODE.
DWORD PowerPolicyNotify(DWORD dwMessage, DWORD dwData);

}  // extern "C"

#endif  // _WIN32_WCE

/// One byte load from a hardware register at kernel virtual address `reg`.
/// Only valid in kernel mode.
uint8_t ReadRegister(volatile uint8_t* reg);

/// One byte store to a hardware register at kernel virtual address `reg`.
/// Only valid in kernel mode.
void WriteRegister(volatile uint8_t* reg, uint8_t value);
