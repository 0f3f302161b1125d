// Stand-in for the Windows CE 4.20 SDK's <windows.h>, reduced to what the
// fixers use and written from the platform's public API reference. The
// device check compiles the programs against it, as C++03 and with no other
// header, the way the SDK's own compilers see them.
#ifndef NUV_SDK_STANDIN_WINDOWS_H
#define NUV_SDK_STANDIN_WINDOWS_H

#define WINAPI

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* HANDLE;
typedef HANDLE HWND;
typedef void* LPVOID;
typedef unsigned int UINT;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* HLOCAL;

#define TRUE 1
#define FALSE 0

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

#define SH_SHELL 21
#define MB_OK 0x00000000L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_SETFOREGROUND 0x00010000L
#define LMEM_FIXED 0x0000
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFF
#define ERROR_ALREADY_EXISTS 183L
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1

extern "C" {
void WINAPI NKDbgPrintfW(LPCWSTR lpszFmt, ...);
BOOL WINAPI IsAPIReady(DWORD hAPI);
void WINAPI Sleep(DWORD dwMilliseconds);
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
BOOL WINAPI CreateProcessW(LPCWSTR pszImageName, LPWSTR pszCmdLine, LPVOID psaProcess,
                           LPVOID psaThread, BOOL fInheritHandles, DWORD fdwCreate,
                           LPVOID pvEnvironment, LPWSTR pszCurDir, LPVOID psiStartInfo,
                           LPPROCESS_INFORMATION pProcInfo);
BOOL WINAPI CloseHandle(HANDLE hObject);
HANDLE WINAPI CreateMutexW(LPVOID lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
DWORD WINAPI GetLastError(void);
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
HLOCAL WINAPI LocalAlloc(UINT uFlags, UINT uBytes);
HLOCAL WINAPI LocalFree(HLOCAL hMem);
}

#endif
