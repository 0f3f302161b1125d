// make000: writes the install description (".000") of the handheld's
// installation cabinet.
//
// usage: make000 OUTPUT APP_NAME PROVIDER SHORTCUT SHORTCUT_FILE FILE...
//
// Each FILE (a name such as nuv.exe) is installed into \Windows from the
// cabinet's member of its number (the first is .001); SHORTCUT, in the
// Start menu's Programs folder, starts SHORTCUT_FILE, one of the FILEs.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "install_info.h"

namespace {

// What a Windows CE installer and an 8.3 world accept in a name.
bool Plain(const std::string& s) {
    if (s.empty() || s.size() > 64) {
        return false;
    }
    for (const char c : s) {
        if (c < 0x20 || c > 0x7E || std::strchr("\\/:*?\"<>|%", c) != nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::cerr << "usage: make000 OUTPUT APP_NAME PROVIDER SHORTCUT SHORTCUT_FILE FILE...\n";
        return 2;
    }
    cab::InstallInfo info;
    info.app_name = argv[2];
    info.provider = argv[3];
    info.shortcut = argv[4];
    info.files.assign(argv + 6, argv + argc);
    const auto target = std::find(info.files.begin(), info.files.end(), std::string(argv[5]));
    if (target == info.files.end()) {
        std::cerr << "make000: the shortcut's file " << argv[5] << " is not one of the files\n";
        return 2;
    }
    info.shortcut_file = static_cast<size_t>(target - info.files.begin());
    for (const std::string& s : std::vector<std::string>(argv + 2, argv + argc)) {
        if (!Plain(s)) {
            std::cerr << "make000: '" << s << "' is not a plain name of at most 64 characters\n";
            return 2;
        }
    }
    const std::vector<uint8_t> bytes = cab::WriteInstallInfo(info);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::cerr << "make000: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
