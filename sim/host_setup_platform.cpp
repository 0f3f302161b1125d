// Host side of the setup library's boundary: a program started by
// CreateProcessW is queued on the simulated device, and devsim runs it as
// a process of its own once the installer's call has returned.
#include <cstdint>
#include <optional>

#include "debug_format.h"
#include "host_platform.h"
#include "owner_device.h"
#include "setup_platform.h"

namespace {

HANDLE Token(uint32_t value) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)); }

}  // namespace

extern "C" {

BOOL CreateProcessW(LPCWSTR pszImageName, LPWSTR pszCmdLine, LPVOID psaProcess,
                    LPVOID psaThread, BOOL fInheritHandles, DWORD fdwCreate,
                    LPVOID pvEnvironment, LPWSTR pszCurDir, LPVOID psiStartInfo,
                    PROCESS_INFORMATION* pProcInfo) {
    if (pszImageName == nullptr) {
        return FALSE;
    }
    // In the order of sim::kCreateProcessNullParams.
    const sim::CreateProcessCall call{sim::ToUtf8(pszImageName),
                                      {psaProcess != nullptr, psaThread != nullptr,
                                       fInheritHandles != FALSE, pvEnvironment != nullptr,
                                       pszCurDir != nullptr, psiStartInfo != nullptr},
                                      fdwCreate,
                                      pszCmdLine != nullptr ? sim::ToUtf8(pszCmdLine) : ""};
    const std::optional<sim::StartedHandles> started =
        sim::DeviceCreateProcess(sim::HostDevice(), call);
    if (!started) {
        return FALSE;
    }
    if (pProcInfo != nullptr) {
        *pProcInfo = PROCESS_INFORMATION{Token(started->process), Token(started->thread), 0x42, 0x43};
    }
    return TRUE;
}


}  // extern "C"
