#include "dll_call.h"

#include <vector>

#include "host_platform.h"
#include "owner_device.h"
#include "setup_calls.h"

namespace cerun {

namespace {

constexpr uint32_t kDllProcessDetach = 0;
constexpr uint32_t kDllProcessAttach = 1;
constexpr uint32_t kInstallDirAt = kTrapPage + 0x300;  // the install directory, UTF-16

// The export's arguments as words; the install directory placed for it.
std::vector<uint32_t> Arguments(Machine& m, const sim::SetupExport& e) {
    std::u16string dir(sim::kInstallDir, sim::kInstallDir + sizeof sim::kInstallDir);
    uc_mem_write(m.uc, kInstallDirAt, dir.data(), 2 * dir.size());
    std::vector<uint32_t> words;
    for (size_t i = 0; i < e.argc; ++i) {
        switch (e.args[i]) {
            case sim::SetupArg::Zero: words.push_back(0); break;
            case sim::SetupArg::True: words.push_back(1); break;
            case sim::SetupArg::InstallDir: words.push_back(kInstallDirAt); break;
            case sim::SetupArg::PreviouslyInstalled:
                words.push_back(sim::PreviouslyInstalled(sim::HostDevice()) ? 1 : 0);
                break;
        }
    }
    return words;
}

}  // namespace

sim::Status CheckCall(const LoadedImage& image, const std::string& image_name,
                      const std::string& name) {
    if (!image.dll) {
        return sim::Fail(image_name + " is a program, not a DLL: it takes no function's name");
    }
    if (sim::FindSetupExport(name.c_str()) == nullptr) {
        return sim::Fail("cerun calls Install_Init, Install_Exit, Uninstall_Init or "
                         "Uninstall_Exit, not '" + name + "'");
    }
    if (image.exports.count(name) == 0) {
        return sim::Fail(image_name + " has no export " + name);
    }
    return sim::Ok();
}

int RunDllExport(Machine& m, const LoadedImage& image, const std::string& name) {
    m.in_installer = true;  // its boxes are the installer's, whose window is in front
    MapForCalls(m, image);
    if (CallFunction(m, image.entry, {image.base, kDllProcessAttach, 0}) == 0) {
        sim::EndWithFault("refused to load (DllMain returned FALSE)");
    }
    const uint32_t result = CallFunction(m, image.exports.at(name),
                                         Arguments(m, *sim::FindSetupExport(name.c_str())));
    sim::RecordSetupResult(sim::HostDevice(), result);
    CallFunction(m, image.entry, {image.base, kDllProcessDetach, 0});
    return static_cast<int>(result & 0xFF);
}

}  // namespace cerun
