// Host side of the setup library's boundary: a program started by
// CreateProcessW is queued on the simulated device, and devsim runs it as
// a process of its own once the installer's call has returned.
#include <cstdint>

#include "debug_format.h"
#include "host_platform.h"
#include "owner_device.h"
#include "setup_platform.h"

namespace {

// The handles a start gives: tokens, closed by CloseHandle.
HANDLE Token(uintptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

extern "C" {

BOOL CreateProcessW(LPCWSTR pszImageName, LPWSTR /*pszCmdLine*/, LPVOID /*psaProcess*/,
                    LPVOID /*psaThread*/, BOOL /*fInheritHandles*/, DWORD /*fdwCreate*/,
                    LPVOID /*pvEnvironment*/, LPWSTR /*pszCurDir*/, LPVOID /*psiStartInfo*/,
                    PROCESS_INFORMATION* pProcInfo) {
    if (pszImageName == nullptr ||
        !sim::DeviceCreateProcess(sim::HostDevice(), sim::ToUtf8(pszImageName))) {
        return FALSE;
    }
    if (pProcInfo != nullptr) {
        *pProcInfo = PROCESS_INFORMATION{Token(0x100), Token(0x104), 0x42, 0x43};
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) { return hObject != nullptr ? TRUE : FALSE; }

}  // extern "C"
