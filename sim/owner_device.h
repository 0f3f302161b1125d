// What the owner's hands do to the device, beside what programs do: files
// in the object store, the clock set from Settings, resets, and programs
// started by another process (CreateProcessW).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calendar.h"
#include "device_state.h"

namespace sim {

// A file the package puts on the device; a shortcut names its program.
struct PackageFile {
    std::string path;
    std::string target;  // empty unless a shortcut
};

// Each program at the path it registers, then the Start menu's shortcut
// to the first program.
std::vector<PackageFile> PackageFiles();
// The Start menu's shortcut to the first program.
std::string ShortcutPath();

// Whether the package is there already (its first program's file), as the
// installer tells its setup library before copying the files.
bool PreviouslyInstalled(const DeviceState& d);

// The file at `path` (compared as the platform does, ignoring case), or nullptr.
const File* FindFile(const DeviceState& d, const std::string& path);
// False when the object store has no room; a file already there is kept.
bool AddFile(DeviceState& d, const PackageFile& file);
// False when there was no such file.
bool RemoveFile(DeviceState& d, const std::string& path);

// The clock set as the Settings screen sets it: the RTC written right for
// local time `t`, its second starting now, and from then on judged against
// the time set. Pending launches are kept.
void SetClock(DeviceState& d, const DateTime& t);
// The time the clock is judged against at true time `true_ms`.
inline int64_t IntendedMs(const DeviceState& d, int64_t true_ms) {
    return true_ms + d.os.set_offset_ms;
}

// What a cold boot sets the clock to, unless the RTC kept valid time.
inline constexpr DateTime kColdBootTime{2003, 1, 1, 12, 0, 0, 0};
// A hard reset, or a battery left flat: the object store (files and
// pending launches) cleared; the RTC as the cold boot sets it, or as it
// was when `rtc_kept`.
void ColdBoot(DeviceState& d, bool rtc_kept);

// CreateProcessW: `path` queued to start once the asking process ends;
// false when there is no such file or the queue is full.
bool DeviceCreateProcess(DeviceState& d, const std::string& path);
// The first queued start, taken off the queue; nothing when none is.
std::optional<std::string> TakeStart(DeviceState& d);

}  // namespace sim
