// Boundary between the setup library and the operating system: the three
// core-library services it calls and the installer's return codes. The
// device build takes them from the SDK and COREDLL; the host build links
// the simulated device instead.
//
// The sources are C++03, as the programs' are.
#pragma once

#if defined(_WIN32_WCE)
#include <windows.h>
#include <notify.h>
#include <ce_setup.h>
#else

#include "platform.h"

typedef void* HANDLE;
typedef HANDLE HWND;
typedef void* LPVOID;
typedef WCHAR* LPWSTR;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

static const DWORD DLL_PROCESS_DETACH = 0;
static const DWORD DLL_PROCESS_ATTACH = 1;

enum codeINSTALL_INIT { codeINSTALL_INIT_CONTINUE = 0, codeINSTALL_INIT_CANCEL };
enum codeINSTALL_EXIT { codeINSTALL_EXIT_DONE = 0, codeINSTALL_EXIT_UNINSTALL };
enum codeUNINSTALL_INIT { codeUNINSTALL_INIT_CONTINUE = 0, codeUNINSTALL_INIT_CANCEL };
enum codeUNINSTALL_EXIT { codeUNINSTALL_EXIT_DONE = 0 };

extern "C" {

/// Starts program `pszImageName` as a process of its own; on success fills
/// `pProcInfo` with handles that the caller closes. Returns at once.
BOOL CreateProcessW(LPCWSTR pszImageName, LPWSTR pszCmdLine, LPVOID psaProcess, LPVOID psaThread,
                    BOOL fInheritHandles, DWORD fdwCreate, LPVOID pvEnvironment,
                    LPWSTR pszCurDir, LPVOID psiStartInfo, PROCESS_INFORMATION* pProcInfo);

/// Closes a handle CreateProcessW gave.
BOOL CloseHandle(HANDLE hObject);

}  // extern "C"

#endif  // _WIN32_WCE
