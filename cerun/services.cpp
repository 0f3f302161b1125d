#include "services.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "debug_format.h"
#include "device.h"
#include "host_platform.h"
#include "named_objects.h"
#include "notification_store.h"
#include "owner_device.h"
#include "status_platform.h"

namespace cerun {

namespace {

constexpr int kArgRegisters[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
// Longer than all the memory a program has: a string ends at its NUL or
// where the program's memory does.
constexpr size_t kMaxString = size_t{1} << 24;

uint32_t Reg(const Machine& m, int reg) {
    uint32_t v = 0;
    uc_reg_read(m.uc, reg, &v);
    return v;
}

void SetResult(Machine& m, uint32_t value) {
    uc_reg_write(m.uc, UC_ARM_REG_R0, &value);
}

// Argument `i` of the call: r0-r3, then the words on the stack.
uint32_t Arg(Machine& m, unsigned i) {
    if (i < 4) {
        return Reg(m, kArgRegisters[i]);
    }
    uint32_t v = 0;
    const uint32_t at = Reg(m, UC_ARM_REG_SP) + 4 * (i - 4);
    if (!ProgramMay(m, at, sizeof v, kRead) || uc_mem_read(m.uc, at, &v, sizeof v) != UC_ERR_OK) {
        CrashInCaller(m, "argument " + std::to_string(i + 1) + " beyond the stack");
    }
    return v;
}

// What the service reads or writes for the program must be what the
// program itself could: never code, constants, headers, the runner's traps
// or a register.
// (A resident machine returns from a crash: each check says whether to go on.)
bool Require(Machine& m, uint32_t address, uint32_t size, uint32_t access, const char* service,
             const char* what) {
    if (!ProgramMay(m, address, size, access)) {
        CrashInCaller(m, std::string(service) + " given " + what + " " + Hex(address));
        return false;
    }
    return true;
}

std::optional<std::u16string> ReadUtf16(Machine& m, uint32_t address, const char* service) {
    std::u16string text;
    for (char16_t c = 0; text.size() < kMaxString; text += c) {
        const auto at = static_cast<uint32_t>(address + 2 * text.size());
        if (!Require(m, at, sizeof c, kRead, service, "an unreadable string at")) {
            return std::nullopt;
        }
        if (uc_mem_read(m.uc, at, &c, sizeof c) != UC_ERR_OK) {
            CrashInCaller(m, std::string(service) + " given an unreadable string at " +
                                 Hex(address));
            return std::nullopt;
        }
        if (c == 0) {
            return text;
        }
    }
    CrashInCaller(m, std::string(service) + " given an unterminated string at " + Hex(address));
    return std::nullopt;
}

void ServeSetKMode(Machine& m) {
    SetResult(m, static_cast<uint32_t>(SetKMode(static_cast<BOOL>(Arg(m, 0)))));
}

void ServeNKDbgPrintfW(Machine& m) {
    const std::optional<std::u16string> format = ReadUtf16(m, Arg(m, 0), "NKDbgPrintfW");
    if (!format) {
        return;
    }
    unsigned next = 1;
    const std::string text = sim::FormatDebug(format->c_str(), [&] { return Arg(m, next++); });
    if (!m.stopped) {
        sim::HostDebugOutput(text);
    }
}

void ServeIsAPIReady(Machine& m) {
    SetResult(m, static_cast<uint32_t>(IsAPIReady(Arg(m, 0))));
}

void ServeSleep(Machine& m) {
    const uint32_t ms = Arg(m, 0);
    Sleep(ms);
    if (ms > 0) {
        m.since_sleep = 0;  // device time moved: the program is waiting, not spinning
    }
}

void ServeGetLocalTime(Machine& m) {
    SYSTEMTIME t;
    if (!Require(m, Arg(m, 0), sizeof t, kWrite, "GetLocalTime", "an unwritable pointer")) {
        return;
    }
    GetLocalTime(&t);
    if (uc_mem_write(m.uc, Arg(m, 0), &t, sizeof t) != UC_ERR_OK) {
        CrashInCaller(m, "GetLocalTime given an unwritable pointer " + Hex(Arg(m, 0)));
    }
}

void ServeCeRunAppAtTime(Machine& m) {
    const std::optional<std::u16string> name = ReadUtf16(m, Arg(m, 0), "CeRunAppAtTime");
    if (!name) {
        return;
    }
    std::wstring path = sim::ToWide(name->c_str());
    if (Arg(m, 1) == 0) {  // NULL: the pending request deleted
        SetResult(m, static_cast<uint32_t>(CeRunAppAtTime(path.data(), nullptr)));
        return;
    }
    SYSTEMTIME t;
    if (!Require(m, Arg(m, 1), sizeof t, kRead, "CeRunAppAtTime", "an unreadable pointer")) {
        return;
    }
    if (uc_mem_read(m.uc, Arg(m, 1), &t, sizeof t) != UC_ERR_OK) {
        CrashInCaller(m, "CeRunAppAtTime given an unreadable pointer " + Hex(Arg(m, 1)));
        return;
    }
    SetResult(m, static_cast<uint32_t>(CeRunAppAtTime(path.data(), &t)));
}

void ServeCeRunAppAtEvent(Machine& m) {
    const std::optional<std::u16string> name = ReadUtf16(m, Arg(m, 0), "CeRunAppAtEvent");
    if (name) {
        std::wstring path = sim::ToWide(name->c_str());
        SetResult(m, static_cast<uint32_t>(
                         CeRunAppAtEvent(path.data(), static_cast<LONG>(Arg(m, 1)))));
    }
}

// CreateMutexW(attributes, initial owner, name): a handle of the running
// process's; the name's state for GetLastError.
void ServeCreateMutexW(Machine& m) {
    std::optional<std::u16string> name;
    if (Arg(m, 2) != 0) {
        name = ReadUtf16(m, Arg(m, 2), "CreateMutexW");
        if (!name) {
            return;
        }
    }
    const std::optional<uint32_t> handle = sim::DeviceCreateMutex(
        sim::HostDevice(), Arg(m, 0) != 0,
        name ? std::optional(sim::ToUtf8(name->c_str())) : std::nullopt, name ? name->size() : 0);
    SetResult(m, handle ? *handle : 0);
}

void ServeGetLastError(Machine& m) { SetResult(m, sim::HostDevice().os.last_error); }

void ServePowerPolicyNotify(Machine& m) {
    SetResult(m, PowerPolicyNotify(Arg(m, 0), Arg(m, 1)));
}

// CreateProcessW(image, command line, process and thread attributes,
// inherit, flags, environment, directory, start info, process information):
// arguments five to ten on the stack; the last receives four words.
void ServeCreateProcessW(Machine& m) {
    const std::optional<std::u16string> name = ReadUtf16(m, Arg(m, 0), "CreateProcessW");
    const std::optional<std::u16string> line =
        name && Arg(m, 1) != 0 ? ReadUtf16(m, Arg(m, 1), "CreateProcessW") : std::u16string();
    if (!name || !line) {
        return;
    }
    const uint32_t info = Arg(m, 9);
    if (info != 0 && !Require(m, info, 16, kWrite, "CreateProcessW",
                              "an unwritable process information at")) {
        return;
    }
    // The arguments sim::kCreateProcessNullParams names, in its order.
    constexpr unsigned kMustBeNull[sim::kCreateProcessNullParamCount] = {2, 3, 4, 6, 7, 8};
    sim::CreateProcessCall call{sim::ToUtf8(name->c_str()), {}, Arg(m, 5),
                                sim::ToUtf8(line->c_str())};
    for (size_t i = 0; i < sim::kCreateProcessNullParamCount; ++i) {
        call.given[i] = Arg(m, kMustBeNull[i]) != 0;
    }
    const std::optional<sim::StartedHandles> started =
        sim::DeviceCreateProcess(sim::HostDevice(), call);
    if (started && info != 0) {
        const uint32_t words[4] = {started->process, started->thread, 0x42, 0x43};
        uc_mem_write(m.uc, info, words, sizeof words);
    }
    SetResult(m, started ? 1U : 0U);
}

void ServeCloseHandle(Machine& m) {
    SetResult(m, sim::DeviceCloseHandle(sim::HostDevice(), Arg(m, 0)) ? 1U : 0U);
}

// Writes `bytes` for the program at `address`, which it must be able to write.
bool Give(Machine& m, uint32_t address, const void* bytes, uint32_t size, const char* service,
          const char* what) {
    if (!Require(m, address, size, kWrite, service, what)) {
        return false;
    }
    uc_mem_write(m.uc, address, bytes, size);
    return true;
}

// CeGetUserNotificationHandles(handles, count, needed): the whole buffer the
// program claims must be its own, as the platform checks it.
void ServeCeGetUserNotificationHandles(Machine& m) {
    const char* service = "CeGetUserNotificationHandles";
    const uint32_t buffer = Arg(m, 0);
    const uint32_t count = buffer != 0 ? Arg(m, 1) : 0;
    const sim::HandleList list = sim::AnswerHandles(sim::HostDevice(), count);
    if (Arg(m, 2) != 0 &&
        !Give(m, Arg(m, 2), &list.needed, 4, service, "an unwritable count at")) {
        return;
    }
    if (count > 0x3FFFFFFF) {  // more bytes than the address space: no program has them
        CrashInCaller(m, std::string(service) + " given a buffer it cannot write at " +
                             Hex(buffer));
        return;
    }
    if (count > 0 && !Require(m, buffer, 4 * count, kWrite, service, "a buffer it cannot write at")) {
        return;
    }
    if (!list.handles.empty()) {
        uc_mem_write(m.uc, buffer, list.handles.data(), size_t{4} * list.handles.size());
    }
    SetResult(m, list.ok ? 1U : 0U);
}

// The record CeGetUserNotification writes at `at`, as ARM code sees it: the
// header, the trigger, what it shows the owner if anything, then the
// strings in UTF-16, the pointers into the same buffer.
std::vector<uint8_t> NotificationBytes(uint32_t at, const sim::NotificationRecord& r) {
    constexpr uint32_t kHeader = 16;
    constexpr uint32_t kTrigger = 20 + 2 * sizeof(SYSTEMTIME);
    constexpr uint32_t kUser = 24;
    std::vector<uint8_t> strings;
    uint32_t next = at + kHeader + kTrigger + (r.user ? kUser : 0);
    const auto put = [&](const std::u16string* s) -> uint32_t {
        if (s == nullptr) {
            return 0;
        }
        const uint32_t where = next;
        const auto* b = reinterpret_cast<const uint8_t*>(s->c_str());
        strings.insert(strings.end(), b, b + 2 * (s->size() + 1));
        next += static_cast<uint32_t>(2 * (s->size() + 1));
        return where;
    };
    const uint32_t app = put(r.application ? &*r.application : nullptr);
    const uint32_t args = put(r.arguments ? &*r.arguments : nullptr);
    std::vector<uint32_t> words = {r.handle, 0, at + kHeader, r.user ? at + kHeader + kTrigger : 0,
                                   kTrigger, r.type, r.event, app, args};
    for (const SYSTEMTIME& t : {r.start, r.end}) {
        const auto* w = reinterpret_cast<const uint32_t*>(&t);
        words.insert(words.end(), w, w + sizeof t / 4);
    }
    if (r.user) {
        const uint32_t title = put(&r.user->title);
        const uint32_t text = put(&r.user->text);
        words.insert(words.end(),
                     {r.user->action_flags, title, text, put(&r.user->sound), r.user->max_sound, 0});
    }
    std::vector<uint8_t> record(4 * words.size());
    std::memcpy(record.data(), words.data(), record.size());
    record.insert(record.end(), strings.begin(), strings.end());
    return record;
}

// CeGetUserNotification(handle, size, needed, buffer): FALSE with a size of
// 0 for a handle that names no notification, FALSE with the size needed
// for a buffer too small.
void ServeCeGetUserNotification(Machine& m) {
    const char* service = "CeGetUserNotification";
    const uint32_t size = Arg(m, 1);
    const uint32_t buffer = Arg(m, 3);
    const std::optional<sim::NotificationRecord> record =
        sim::ReadNotification(sim::HostDevice(), Arg(m, 0));
    const std::vector<uint8_t> bytes =
        record ? NotificationBytes(buffer, *record) : std::vector<uint8_t>();
    const auto needed = static_cast<uint32_t>(bytes.size());
    if (Arg(m, 2) != 0 && !Give(m, Arg(m, 2), &needed, 4, service, "an unwritable size at")) {
        return;
    }
    if (!record || size < needed) {
        SetResult(m, 0);
        return;
    }
    if (buffer % 4 != 0) {
        CrashInCaller(m, std::string(service) + " given a buffer not DWORD-aligned at " +
                             Hex(buffer));
        return;
    }
    if (Require(m, buffer, size, kWrite, service, "a buffer it cannot write at")) {
        uc_mem_write(m.uc, buffer, bytes.data(), bytes.size());
        SetResult(m, 1);
    }
}

void ServeGetFileAttributesW(Machine& m) {
    const std::optional<std::u16string> path = ReadUtf16(m, Arg(m, 0), "GetFileAttributesW");
    if (path) {
        SetResult(m, sim::FileAttributes(sim::HostDevice(), sim::ToUtf8(path->c_str())));
    }
}

// MessageBoxW(window, text, caption, type): recorded with its style; a
// NULL caption is the platform's default; the owner taps OK.
void ServeMessageBoxW(Machine& m) {
    const std::optional<std::u16string> text = ReadUtf16(m, Arg(m, 1), "MessageBoxW");
    std::optional<std::u16string> caption = std::nullopt;
    if (text && Arg(m, 2) != 0) {
        caption = ReadUtf16(m, Arg(m, 2), "MessageBoxW");
        if (!caption) {
            return;
        }
    }
    if (text) {
        const bool shown = sim::RecordMessageBox(
            sim::HostDevice(), caption ? sim::ToUtf8(caption->c_str()) : sim::kDefaultCaption,
            sim::ToUtf8(text->c_str()), Arg(m, 3), m.in_installer);
        SetResult(m, shown ? 1U : 0U);  // IDOK
    }
}

// LocalAlloc(flags, bytes): fixed memory from the heap, zeroed as the host
// build's is; NULL when it has no room or for movable memory.
void ServeLocalAlloc(Machine& m) {
    constexpr uint32_t kLmemZeroInit = 0x40;
    constexpr uint32_t kAlign = 8;
    const uint64_t size = (std::max<uint64_t>(Arg(m, 1), 1) + kAlign - 1) / kAlign * kAlign;
    uint64_t at = kHeapBase;
    for (const auto& [address, length] : m.heap) {  // the first gap that fits
        if (address - at >= size) {
            break;
        }
        at = uint64_t{address} + length;
    }
    if ((Arg(m, 0) & ~kLmemZeroInit) != 0 || sim::ShortOfMemory(sim::HostDevice(), Arg(m, 1)) ||
        at + size > uint64_t{kHeapBase} + kHeapSize) {
        SetResult(m, 0);
        return;
    }
    m.heap[static_cast<uint32_t>(at)] = static_cast<uint32_t>(size);
    const std::vector<uint8_t> zeros(size);
    uc_mem_write(m.uc, at, zeros.data(), zeros.size());
    SetResult(m, static_cast<uint32_t>(at));
}

// LocalFree(memory): NULL once given back; the memory itself, and a breach,
// for what LocalAlloc never gave.
void ServeLocalFree(Machine& m) {
    const uint32_t block = Arg(m, 0);
    if (block != 0 && m.heap.erase(block) == 0) {
        sim::RecordViolation(sim::HostDevice(),
                             "LocalFree given memory LocalAlloc never gave or took back already");
        SetResult(m, block);
        return;
    }
    SetResult(m, 0);
}

}  // namespace

const Service kServices[] = {
    {"SetKMode", ServeSetKMode},
    {"NKDbgPrintfW", ServeNKDbgPrintfW},
    {"IsAPIReady", ServeIsAPIReady},
    {"Sleep", ServeSleep},
    {"GetLocalTime", ServeGetLocalTime},
    {"CeRunAppAtTime", ServeCeRunAppAtTime},
    {"PowerPolicyNotify", ServePowerPolicyNotify},
    // The setup library's, beside CeRunAppAtTime.
    {"CreateProcessW", ServeCreateProcessW},
    {"CloseHandle", ServeCloseHandle},
    // The status program's, beside the re-arming's.
    {"CeGetUserNotificationHandles", ServeCeGetUserNotificationHandles},
    {"CeGetUserNotification", ServeCeGetUserNotification},
    {"GetFileAttributesW", ServeGetFileAttributesW},
    {"MessageBoxW", ServeMessageBoxW},
    {"LocalAlloc", ServeLocalAlloc},
    {"LocalFree", ServeLocalFree},
    // The status program's and the setup library's: starts at an event.
    {"CeRunAppAtEvent", ServeCeRunAppAtEvent},
    // The status program's: one instance shows its box.
    {"CreateMutexW", ServeCreateMutexW},
    {"GetLastError", ServeGetLastError},
};
const size_t kServiceCount = sizeof kServices / sizeof kServices[0];

}  // namespace cerun
