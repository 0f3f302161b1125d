// What the owner's hands do to the device, beside what programs do: files
// in the object store, the clock set from Settings, resets, and programs
// started by another process (CreateProcessW).
#pragma once

#include <iterator>
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

// Each program at the path it registers, the status program, then the
// Start menu's shortcut to the status program.
std::vector<PackageFile> PackageFiles();
// The Start menu's shortcut to the status program.
std::string ShortcutPath();
// The name the installer keeps its record under, and Remove Programs
// lists: "<provider> <application name>".
std::string ApplicationName();

// Whether the installer's record says the package is installed, as it
// tells its setup library before copying the files.
bool PreviouslyInstalled(const DeviceState& d);
// The installer's record: the package installed with the files of
// PackageFiles() whose bits `placed` holds; or, with nothing, removed.
void RecordInstalled(DeviceState& d, std::optional<uint32_t> placed);
// The paths the installer's record says it placed, in package order.
std::vector<std::string> InstalledFiles(const DeviceState& d);

// The file at `path` (compared as the platform does, ignoring case), or nullptr.
const File* FindFile(const DeviceState& d, const std::string& path);
// GetFileAttributesW: FILE_ATTRIBUTE_DIRECTORY for the device's folders
// (those every handheld has, and those that hold a file), FILE_ATTRIBUTE_NORMAL
// for a file, INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) for anything else.
uint32_t FileAttributes(const DeviceState& d, const std::string& path);
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;
inline constexpr uint32_t kNoAttributes = 0xFFFFFFFF;

// False when the object store has no room; a file already there is kept.
bool AddFile(DeviceState& d, const PackageFile& file);
// The installer's copy: a file already there is overwritten (a shortcut
// takes the new target); false when the object store has no room.
bool PlaceFile(DeviceState& d, const PackageFile& file);
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
// A hard reset, or a battery left flat: the object store (files, pending
// launches, the installer's record) cleared; the RTC as the cold boot sets
// it, its control register cleared with the power it lost, or, when
// `rtc_kept`, the chip as it was.
void ColdBoot(DeviceState& d, bool rtc_kept);

// The parameters of CreateProcessW the platform requires NULL or FALSE,
// in the order the call takes them.
inline constexpr const char* kCreateProcessNullParams[] = {
    "psaProcess", "psaThread", "fInheritHandles", "pvEnvironment", "pszCurDir", "psiStartInfo"};
inline constexpr size_t kCreateProcessNullParamCount = 6;
static_assert(std::size(kCreateProcessNullParams) == kCreateProcessNullParamCount);
// What a process gave CreateProcessW: the image's path; which of those
// parameters it gave anyway; the creation flags.
struct CreateProcessCall {
    std::string path;
    bool given[kCreateProcessNullParamCount] = {};
    uint32_t flags = 0;
    std::string command_line;  // empty for NULL
};
// The handles CreateProcessW gives the caller.
struct StartedHandles {
    uint32_t process;
    uint32_t thread;
};
// CreateProcessW: the program queued to start once the asking process
// ends, and two handles given out; nothing when there is no such file, the
// queue is full or no handle is free. A parameter or flag the platform
// does not serve is a breach, recorded as an access violation.
std::optional<StartedHandles> DeviceCreateProcess(DeviceState& d, const CreateProcessCall& call);
// CloseHandle: false, and a breach recorded, for a handle never given out
// or closed already.
bool DeviceCloseHandle(DeviceState& d, uint32_t handle);
// How many handles from CreateProcessW the running process holds open.
int OpenHandles(const DeviceState& d);
// A free slot of the running process's handle table filled with a new
// handle (never 0, none open twice); nothing when the table is full.
std::optional<uint32_t> GiveProcessHandle(DeviceState& d);
// Process handles run from kFirstHandle to kLastHandle, in steps of 4.
inline constexpr uint32_t kFirstHandle = 0x1000;
inline constexpr uint32_t kLastHandle = 0x00A0FFFC;  // below the notification store's
// Whether the handle counter and the open handles are ones the device gives.
bool SaneHandles(const DeviceState& d);

// MessageBoxW: the box recorded in the run log (the first a run shows),
// hidden behind the foreground window unless its style has
// MB_SETFOREGROUND or its process is in front (the installer, for its
// setup library; the programs here have no window of their own); false,
// and a breach recorded, for a style with bits the platform does not define.
bool RecordMessageBox(DeviceState& d, const std::string& caption, const std::string& text,
                      uint32_t style, bool in_front = false);
// What MessageBoxW shows for a NULL caption.
inline constexpr char kDefaultCaption[] = "Error";

// The setup library's function returned `result` (all 32 bits: a process's
// exit status keeps only 8).
void RecordSetupResult(DeviceState& d, uint32_t result);
// A program a process asked to start, and the command line it gave.
struct QueuedProgram {
    std::string path;
    std::string command_line;
};
// The first queued start, taken off the queue; nothing when none is.
std::optional<QueuedProgram> TakeStart(DeviceState& d);

}  // namespace sim
