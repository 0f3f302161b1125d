#include "owner_device.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "device.h"
#include "fixers.h"

namespace sim {

namespace {

void Copy(char (&to)[kPathBytes], const std::string& from) {
    std::snprintf(to, sizeof to, "%s", from.c_str());
}

}  // namespace

std::string ShortcutPath() {
    return std::string("\\Windows\\Start Menu\\Programs\\") + NUV_SHORTCUT_NAME + ".lnk";
}

std::vector<PackageFile> PackageFiles() {
    std::vector<PackageFile> files;
    for (const Fixer& f : kFixers) {
        files.push_back({f.path, ""});
    }
    files.push_back({ShortcutPath(), kFixers[0].path});
    return files;
}

const File* FindFile(const DeviceState& d, const std::string& path) {
    for (const File& f : d.os.files) {
        if (f.used != 0 && strcasecmp(f.path, path.c_str()) == 0) {
            return &f;
        }
    }
    return nullptr;
}

bool PreviouslyInstalled(const DeviceState& d) {
    return FindFile(d, kFixers[0].path) != nullptr;
}

bool AddFile(DeviceState& d, const PackageFile& file) {
    if (file.path.size() >= kPathBytes || file.target.size() >= kPathBytes) {
        return false;
    }
    if (FindFile(d, file.path) != nullptr) {
        return true;
    }
    for (File& f : d.os.files) {
        if (f.used == 0) {
            Copy(f.path, file.path);
            Copy(f.target, file.target);
            f.used = 1;
            return true;
        }
    }
    return false;
}

bool RemoveFile(DeviceState& d, const std::string& path) {
    const File* f = FindFile(d, path);
    if (f == nullptr) {
        return false;
    }
    d.os.files[f - d.os.files] = File{};
    return true;
}

namespace {

void WriteClock(DeviceState& d, const DateTime& t) {
    CatchUp(d);
    d.chip.regs = RegistersFor(t);
    d.chip.next_tick_ms = d.os.clock_ms + kMsPerSecond;
}

}  // namespace

void SetClock(DeviceState& d, const DateTime& t) {
    WriteClock(d, t);
    d.os.set_offset_ms = ToMs(t) - d.os.clock_ms;
}

void ColdBoot(DeviceState& d, bool rtc_kept) {
    EndProcess(d);
    for (File& f : d.os.files) {
        f = File{};
    }
    for (Launch& l : d.os.launches) {
        l = Launch{};
    }
    d.os.start_count = 0;
    if (!rtc_kept) {
        WriteClock(d, kColdBootTime);  // the time the owner meant is still the one to judge by
    }
}

bool DeviceCreateProcess(DeviceState& d, const std::string& path) {
    if (FindFile(d, path) == nullptr || d.os.start_count >= kMaxStarts ||
        path.size() >= kPathBytes) {
        return false;
    }
    Copy(d.os.starts[d.os.start_count++], path);
    return true;
}

std::optional<std::string> TakeStart(DeviceState& d) {
    if (d.os.start_count == 0) {
        return std::nullopt;
    }
    std::string first = d.os.starts[0];
    std::memmove(d.os.starts[0], d.os.starts[1], sizeof d.os.starts[0] * (kMaxStarts - 1));
    --d.os.start_count;
    return first;
}

}  // namespace sim
