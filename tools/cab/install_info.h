// The install description (".000") of a Windows CE installation cabinet:
// what the handheld's installer reads to know the application, the
// processor and system it needs, where each member file goes and which
// shortcuts to make. Layout: a 100-byte header, then the name strings and
// the STRINGS, DIRS, FILES, REGHIVES, REGKEYS and LINKS sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cab {

constexpr uint32_t kSignature = 0x4543534D;  // "MSCE"
constexpr uint32_t kStrongArm = 2577;        // the architecture of ARM Pocket PC cabinets
constexpr uint16_t kWindowsDir = 2;          // %CE2%: \Windows
constexpr uint16_t kProgramsDir = 11;        // %CE11%: the Start menu's Programs folder
constexpr uint32_t kHeaderSize = 100;
// File flags: never skipped, copied whatever the dates.
constexpr uint32_t kNoSkip = 0x00000002;
constexpr uint32_t kIgnoreDate = 0x40000000;
// What the builder adds to a shortcut's name to make its file name.
constexpr char kLinkExtension[] = ".lnk";

struct InstallInfo {
    std::string app_name;
    std::string provider;
    uint32_t min_major = 4;  // Windows CE 4.20
    uint32_t min_minor = 20;
    std::vector<std::string> files;  // installed into \Windows; member i + 1 is files[i]
    std::string shortcut;            // in the Programs folder; no ".lnk"
    size_t shortcut_file = 0;        // the index in `files` of what the shortcut starts
};

// The bytes of the .000 member for `info`.
std::vector<uint8_t> WriteInstallInfo(const InstallInfo& info);

}  // namespace cab
