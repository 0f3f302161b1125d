#include "owner_device.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device.h"
#include "event_starts.h"
#include "fixers.h"
#include "named_objects.h"
#include "notification_store.h"

namespace sim {

namespace {

void Copy(char (&to)[kPathBytes], const std::string& from) {
    std::snprintf(to, sizeof to, "%s", from.c_str());
}

}  // namespace

std::string ShortcutPath() {
    return std::string("\\Windows\\Start Menu\\Programs\\") + STATUS_SHORTCUT_NAME + ".lnk";
}

std::string ApplicationName() { return NUV_APPLICATION; }

std::vector<PackageFile> PackageFiles() {
    std::vector<PackageFile> files;
    for (const Fixer& f : kFixers) {
        files.push_back({f.path, ""});
    }
    files.push_back({kStatusProgram.path, ""});
    files.push_back({ShortcutPath(), kStatusProgram.path});
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

bool PreviouslyInstalled(const DeviceState& d) { return d.os.installed != 0; }

void RecordInstalled(DeviceState& d, std::optional<uint32_t> placed) {
    d.os.installed = placed ? 1 : 0;
    d.os.installed_files = placed.value_or(0);
}

std::vector<std::string> InstalledFiles(const DeviceState& d) {
    std::vector<std::string> placed;
    const std::vector<PackageFile> files = PackageFiles();
    for (size_t i = 0; i < files.size(); ++i) {
        if (d.os.installed != 0 && (d.os.installed_files & (1U << i)) != 0) {
            placed.push_back(files[i].path);
        }
    }
    return placed;
}

bool PlaceFile(DeviceState& d, const PackageFile& file) {
    if (file.target.size() >= kPathBytes) {
        return false;
    }
    for (File& f : d.os.files) {
        if (f.used != 0 && strcasecmp(f.path, file.path.c_str()) == 0) {
            Copy(f.target, file.target);
            return true;
        }
    }
    return AddFile(d, file);
}

namespace {

// The folders of the object store on every Pocket PC 2003.
constexpr const char* kFolders[] = {"\\", "\\Windows", "\\Windows\\Start Menu",
                                    "\\Windows\\Start Menu\\Programs", "\\My Documents",
                                    "\\Program Files", "\\Temp"};
constexpr size_t kMaxPath = 260;  // MAX_PATH, with its NUL

bool IsFolder(const DeviceState& d, std::string path) {
    while (path.size() > 1 && path.back() == '\\') {
        path.pop_back();
    }
    for (const char* folder : kFolders) {
        if (strcasecmp(folder, path.c_str()) == 0) {
            return true;
        }
    }
    for (const File& f : d.os.files) {
        const size_t n = path.size();
        if (f.used != 0 && std::strlen(f.path) > n + 1 && f.path[n] == '\\' &&
            strncasecmp(f.path, path.c_str(), n) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t FileAttributes(const DeviceState& d, const std::string& path) {
    if (path.empty() || path.size() >= kMaxPath) {
        return kNoAttributes;
    }
    if (FindFile(d, path) != nullptr) {
        return kAttributeNormal;
    }
    return IsFolder(d, path) ? kAttributeDirectory : kNoAttributes;
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
    ClearNotes(d);
    ClearEventStarts(d);
    ClearMutexes(d);
    d.os.start_count = 0;
    RecordInstalled(d, std::nullopt);
    if (!rtc_kept) {
        WriteClock(d, kColdBootTime);  // the time the owner meant is still the one to judge by
        d.chip.rtccon = 0;
        d.log.rtcen_by_run = 0;
    }
}

// A handle of the running process's: its slot, or nothing when none is
// free. Never 0, and past the last one the count starts again at
// kFirstHandle, passing over those still open.
std::optional<uint32_t> GiveProcessHandle(DeviceState& d) {
    uint32_t* slot = std::find(std::begin(d.os.handles), std::end(d.os.handles), 0U);
    if (slot == std::end(d.os.handles)) {
        return std::nullopt;
    }
    do {
        const bool past = d.os.next_handle < kFirstHandle || d.os.next_handle > kLastHandle - 4;
        d.os.next_handle = past ? kFirstHandle : d.os.next_handle + 4;
    } while (std::count(std::begin(d.os.handles), std::end(d.os.handles), d.os.next_handle) != 0);
    *slot = d.os.next_handle;
    return *slot;
}


bool SaneHandles(const DeviceState& d) {
    const uint32_t next = d.os.next_handle;
    bool sane = next == 0 || (next >= kFirstHandle && next <= kLastHandle && next % 4 == 0);
    for (size_t i = 0; i < kMaxHandles; ++i) {
        const uint32_t h = d.os.handles[i];
        sane = sane && (h == 0 || (h >= kFirstHandle && h <= kLastHandle && h % 4 == 0 &&
                                   std::count(d.os.handles + i + 1, std::end(d.os.handles), h) == 0));
    }
    return sane;
}

std::optional<StartedHandles> DeviceCreateProcess(DeviceState& d, const CreateProcessCall& call) {
    for (size_t i = 0; i < kCreateProcessNullParamCount; ++i) {
        if (call.given[i]) {
            RecordViolation(d, std::string("CreateProcessW given ") + kCreateProcessNullParams[i] +
                                   ", which must be NULL or FALSE on this platform");
            return std::nullopt;
        }
    }
    if (call.flags != 0) {
        char flags[16];
        std::snprintf(flags, sizeof flags, "0x%x", call.flags);
        RecordViolation(d, std::string("CreateProcessW given creation flags ") + flags +
                               ", which the simulated device does not serve");
        return std::nullopt;
    }
    // A module only: a shortcut is the shell's to follow, not CreateProcess's.
    const File* file = FindFile(d, call.path);
    const auto free = std::count(std::begin(d.os.handles), std::end(d.os.handles), 0U);
    if (file == nullptr || file->target[0] != '\0' || call.path.size() >= kPathBytes || free < 2) {
        return std::nullopt;
    }
    if (d.os.start_count >= kMaxStarts) {
        ++d.log.starts_refused;
        return std::nullopt;
    }
    if (call.command_line.size() >= kCommandLineBytes) {
        ++d.log.long_command_lines;
        return std::nullopt;
    }
    std::snprintf(d.os.start_lines[d.os.start_count], kCommandLineBytes, "%s",
                  call.command_line.c_str());
    Copy(d.os.starts[d.os.start_count++], call.path);
    const uint32_t process = *GiveProcessHandle(d);
    return StartedHandles{process, *GiveProcessHandle(d)};
}

bool DeviceCloseHandle(DeviceState& d, uint32_t handle) {
    for (size_t i = 0; i < kMaxHandles; ++i) {
        if (handle != 0 && d.os.handles[i] == handle) {
            DropHandle(d, i);
            return true;
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", handle);
    RecordViolation(d, std::string("CloseHandle given ") + text +
                           ", a handle it was never given or closed already");
    return false;
}

int OpenHandles(const DeviceState& d) {
    int open = 0;
    for (size_t i = 0; i < kMaxHandles; ++i) {
        open += d.os.handles[i] != 0 && d.os.handle_kinds[i] == kProcessHandle ? 1 : 0;
    }
    return open;
}

namespace {

// MessageBoxW's styles as the platform's reference defines them for
// Windows CE: buttons (MB_OK 0 to MB_RETRYCANCEL 5), icons (MB_ICONHAND
// 0x10 to MB_ICONASTERISK 0x40), default button (MB_DEFBUTTON1 0 to
// MB_DEFBUTTON4 0x300), MB_SETFOREGROUND 0x10000 and MB_TOPMOST 0x40000.
// MB_SYSTEMMODAL, MB_TASKMODAL and the rest of the desktop's are not served.
constexpr uint32_t kMbSetForeground = 0x00010000;
constexpr uint32_t kMbTopmost = 0x00040000;

bool DefinedStyle(uint32_t style) {
    const uint32_t buttons = style & 0xF;
    const uint32_t icon = style & 0xF0;
    const uint32_t default_button = style & 0xF00;
    const uint32_t rest = style & ~0xFFFU & ~(kMbSetForeground | kMbTopmost);
    return buttons <= 5 && icon <= 0x40 && default_button <= 0x300 && rest == 0;
}

// `text` into `size` bytes with its NUL: whole, or cut on a character's
// boundary with `mark` after it, so that what is kept says it was cut.
void KeepText(char* to, size_t size, const std::string& text, const std::string& mark) {
    if (text.size() < size) {
        std::memcpy(to, text.c_str(), text.size() + 1);
        return;
    }
    size_t keep = size - 1 - mark.size();
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) {
        --keep;  // not inside a character
    }
    const std::string kept = text.substr(0, keep) + mark;
    std::memcpy(to, kept.c_str(), kept.size() + 1);
}

}  // namespace

bool RecordMessageBox(DeviceState& d, const std::string& caption, const std::string& text,
                      uint32_t style, bool in_front) {
    if (!DefinedStyle(style)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", style);
        RecordViolation(d, std::string("MessageBoxW given the style ") + hex +
                               ", with bits the platform does not define");
        return false;
    }
    if (d.log.box_shown == 0) {
        KeepText(d.log.box_caption, sizeof d.log.box_caption, caption, "...");
        KeepText(d.log.box_text, sizeof d.log.box_text, text,
                 "... (" + std::to_string(text.size()) + " bytes in all, cut here)");
        d.log.box_shown = 1;
        d.log.box_style = style;
        // No window of its own, started by the installer, the shell or a
        // launch: its box opens behind the foreground window unless it asks.
        d.log.box_hidden = (style & kMbSetForeground) == 0 && !in_front ? 1 : 0;
    }
    return true;
}

void RecordSetupResult(DeviceState& d, uint32_t result) {
    d.os.setup_result = result;
    d.os.setup_returned = 1;
}

std::optional<QueuedProgram> TakeStart(DeviceState& d) {
    if (d.os.start_count == 0) {
        return std::nullopt;
    }
    QueuedProgram first{d.os.starts[0], d.os.start_lines[0]};
    std::memmove(d.os.starts[0], d.os.starts[1], sizeof d.os.starts[0] * (kMaxStarts - 1));
    std::memmove(d.os.start_lines[0], d.os.start_lines[1],
                 sizeof d.os.start_lines[0] * (kMaxStarts - 1));
    --d.os.start_count;
    return first;
}

}  // namespace sim
