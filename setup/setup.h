// The cabinet's setup library: the four functions the handheld's installer
// calls around installing and removing the programs, and the library's entry.
#pragma once

#include "setup_platform.h"

extern "C" {

/// The library's entry, at load and unload; nothing to set up.
BOOL DllMain(HANDLE hinst, DWORD reason, LPVOID reserved);

/// Before the files are copied: always goes on.
codeINSTALL_INIT Install_Init(HWND parent, BOOL first_call, BOOL previously_installed,
                              LPCWSTR install_dir);

/// After the files are copied: starts the status program once, which
/// registers all of them for their next dates and shows the owner that the
/// set is on. A program that cannot be started leaves the installation as
/// it is: the owner can start it from the Start menu.
codeINSTALL_EXIT Install_Exit(HWND parent, LPCWSTR install_dir, WORD failed_dirs,
                              WORD failed_files, WORD failed_reg_keys, WORD failed_reg_vals,
                              WORD failed_shortcuts);

/// Before the files go: withdraws every program's pending launch, so that
/// nothing is started at a path with no file. Always goes on.
codeUNINSTALL_INIT Uninstall_Init(HWND parent, LPCWSTR install_dir);

/// After the files are gone: nothing left to do.
codeUNINSTALL_EXIT Uninstall_Exit(HWND parent);

}  // extern "C"
