// How the handheld's installer calls the setup library's four functions:
// the arguments each is given, for the host build and the ARM runner alike.
#pragma once

#include <cstddef>
#include <cstring>

namespace sim {

enum class SetupArg {
    Zero,                 // no window, no failures
    True,                 // the first call
    PreviouslyInstalled,  // whether the first program's file is already there
    InstallDir,           // the directory the files go to
};

constexpr std::size_t kMaxSetupArgs = 7;

struct SetupExport {
    const char* name;
    std::size_t argc;
    SetupArg args[kMaxSetupArgs];
};

// In the order the installer calls them, installing then removing.
inline constexpr SetupExport kSetupExports[] = {
    {"Install_Init", 4, {SetupArg::Zero, SetupArg::True, SetupArg::PreviouslyInstalled,
                         SetupArg::InstallDir}},
    {"Install_Exit", 7, {SetupArg::Zero, SetupArg::InstallDir, SetupArg::Zero, SetupArg::Zero,
                         SetupArg::Zero, SetupArg::Zero, SetupArg::Zero}},
    {"Uninstall_Init", 2, {SetupArg::Zero, SetupArg::InstallDir}},
    {"Uninstall_Exit", 1, {SetupArg::Zero}},
};

inline constexpr char kInstallDir[] = "\\Windows";
// The library's file, and its host build's name.
inline constexpr char kSetupLibrary[] = "setup.dll";
inline constexpr char kSetupProgram[] = "setup";

// The export called `name`, or nullptr.
inline const SetupExport* FindSetupExport(const char* name) {
    for (const SetupExport& e : kSetupExports) {
        if (std::strcmp(e.name, name) == 0) {
            return &e;
        }
    }
    return nullptr;
}

}  // namespace sim
