// The host build of the setup library: calls one of its functions on the
// simulated device the way the handheld's installer does, between the
// library's load and unload; the exit status is the function's result
// (its low byte; the device keeps all of it for devsim).
#include <cstdio>
#include <string>

#include "host_platform.h"
#include "owner_device.h"
#include "setup.h"
#include "setup_calls.h"

namespace {

int Call(const sim::SetupExport& e) {
    const std::string narrow = sim::kInstallDir;
    const std::wstring dir(narrow.begin(), narrow.end());
    const BOOL previously_installed = sim::PreviouslyInstalled(sim::HostDevice()) ? TRUE : FALSE;
    const std::string name = e.name;
    if (name == "Install_Init") {
        return Install_Init(nullptr, TRUE, previously_installed, dir.c_str());
    }
    if (name == "Install_Exit") {
        return Install_Exit(nullptr, dir.c_str(), 0, 0, 0, 0, 0);
    }
    if (name == "Uninstall_Init") {
        return Uninstall_Init(nullptr, dir.c_str());
    }
    return Uninstall_Exit(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const sim::SetupExport* e = argc == 2 ? sim::FindSetupExport(argv[1]) : nullptr;
    if (e == nullptr) {
        std::fprintf(stderr, "usage: setup Install_Init|Install_Exit|Uninstall_Init|Uninstall_Exit\n");
        return 2;
    }
    if (DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr) == FALSE) {
        sim::EndWithFault("refused to load (DllMain returned FALSE)");
    }
    const int result = Call(*e);
    sim::RecordSetupResult(sim::HostDevice(), static_cast<uint32_t>(result));
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    return result & 0xFF;
}
