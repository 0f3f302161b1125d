#include "setup.h"

#include "fixer_list.h"

namespace {

// Each program's path as it registers itself, from the one list.
#define SETUP_WIDE(text) L##text
#define SETUP_PATH(program, dir, watcher, month, date, path) SETUP_WIDE(path),
const LPCWSTR kPaths[] = {FIXER_PROGRAMS(SETUP_PATH)};
#undef SETUP_PATH
#define SETUP_STATUS(program, dir, path) SETUP_WIDE(path)
const LPCWSTR kStatusPath = STATUS_PROGRAM(SETUP_STATUS);
#undef SETUP_STATUS

}  // namespace

BOOL DllMain(HANDLE /*hinst*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}

codeINSTALL_INIT Install_Init(HWND /*parent*/, BOOL /*first_call*/, BOOL /*previously_installed*/,
                              LPCWSTR /*install_dir*/) {
    return codeINSTALL_INIT_CONTINUE;
}

codeINSTALL_EXIT Install_Exit(HWND /*parent*/, LPCWSTR /*install_dir*/, WORD /*failed_dirs*/,
                              WORD /*failed_files*/, WORD /*failed_reg_keys*/,
                              WORD /*failed_reg_vals*/, WORD /*failed_shortcuts*/) {
    PROCESS_INFORMATION started;
    if (CreateProcessW(kStatusPath, 0, 0, 0, FALSE, 0, 0, 0, 0, &started) != FALSE) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    return codeINSTALL_EXIT_DONE;
}

// Before the files go: the timed launches, and the status program's
// starts at a change of the clock, withdrawn, so that nothing is left to
// start a program that is not there.
codeUNINSTALL_INIT Uninstall_Init(HWND /*parent*/, LPCWSTR /*install_dir*/) {
    for (unsigned i = 0; i < sizeof kPaths / sizeof kPaths[0]; ++i) {
        CeRunAppAtTime(const_cast<WCHAR*>(kPaths[i]), 0);
    }
    CeRunAppAtEvent(const_cast<WCHAR*>(kStatusPath), NOTIFICATION_EVENT_NONE);
    return codeUNINSTALL_INIT_CONTINUE;
}

codeUNINSTALL_EXIT Uninstall_Exit(HWND /*parent*/) {
    return codeUNINSTALL_EXIT_DONE;
}
