// Boundary between the fixer programs and the operating system.
//
// The programs call exactly the seven core-library services declared here and
// reach the RTC through ReadRegister/WriteRegister. The device build takes the
// services from COREDLL; the host build links a simulated device instead. No
// program source includes anything else of the platform.
#pragma once

#include <stdint.h>

#if defined(_WIN32_WCE)
// The device SDK declares the services; SetKMode, exported by COREDLL but
// declared only in the platform builder's headers, is declared here.
#include <windows.h>
#include <notify.h>
#include <pm.h>
extern "C" BOOL SetKMode(BOOL fMode);
#else

typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef wchar_t WCHAR;
typedef const WCHAR* LPCWSTR;

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
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is eight 16-bit fields");

// API set id of the shell, whose readiness covers timed application launch.
constexpr DWORD SH_SHELL = 21;
// Power-manager notification that asks for (TRUE) or gives up (FALSE) unattended mode.
constexpr DWORD PPN_UNATTENDEDMODE = 3;

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
/// a later registration of the same path replaces the earlier one.
BOOL CeRunAppAtTime(LPCWSTR pwszAppName, const SYSTEMTIME* lpTime);

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
