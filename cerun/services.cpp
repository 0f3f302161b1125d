#include "services.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "debug_format.h"
#include "host_platform.h"
#include "owner_device.h"
#include "status_platform.h"

namespace cerun {

namespace {

constexpr int kArgRegisters[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
constexpr size_t kMaxString = 4096;
constexpr uint32_t kFileAttributeNormal = 0x80;

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

void ServePowerPolicyNotify(Machine& m) {
    SetResult(m, PowerPolicyNotify(Arg(m, 0), Arg(m, 1)));
}

// CreateProcessW(image, command line, process and thread attributes,
// inherit, flags, environment, directory, start info, process information):
// arguments five to ten on the stack; the last receives four words.
void ServeCreateProcessW(Machine& m) {
    const std::optional<std::u16string> name = ReadUtf16(m, Arg(m, 0), "CreateProcessW");
    if (!name || (Arg(m, 1) != 0 && !ReadUtf16(m, Arg(m, 1), "CreateProcessW"))) {
        return;
    }
    const uint32_t info = Arg(m, 9);
    if (info != 0 && !Require(m, info, 16, kWrite, "CreateProcessW",
                              "an unwritable process information at")) {
        return;
    }
    // The arguments sim::kCreateProcessNullParams names, in its order.
    constexpr unsigned kMustBeNull[sim::kCreateProcessNullParamCount] = {2, 3, 4, 6, 7, 8};
    sim::CreateProcessCall call{sim::ToUtf8(name->c_str()), {}, Arg(m, 5)};
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
    const std::vector<uint32_t> handles = sim::NotificationHandles(sim::HostDevice());
    const uint32_t buffer = Arg(m, 0);
    const uint32_t count = Arg(m, 1);
    const auto listed = static_cast<uint32_t>(handles.size());
    if (Arg(m, 2) != 0 &&
        !Give(m, Arg(m, 2), &listed, 4, service, "an unwritable count at")) {
        return;
    }
    if (count > 0 && (count > 0x1000000 || !Require(m, buffer, 4 * count, kWrite, service,
                                                     "a buffer it cannot write at"))) {
        return;
    }
    if (count < listed) {
        SetResult(m, 0);
        return;
    }
    if (listed > 0) {
        uc_mem_write(m.uc, buffer, handles.data(), size_t{4} * listed);
    }
    SetResult(m, 1);
}

// The record CeGetUserNotification writes at `at` for `launch`, as ARM code
// sees it: the header, the trigger, then the path and the arguments in
// UTF-16, the pointers into the same buffer.
std::vector<uint8_t> NotificationRecord(uint32_t at, uint32_t handle, const sim::Launch& launch) {
    constexpr uint32_t kHeader = 16;
    constexpr uint32_t kTrigger = 20 + 2 * sizeof(SYSTEMTIME);
    const std::u16string path(launch.path, launch.path + std::strlen(launch.path));
    const std::u16string args(sim::kRunAtTimeArguments,
                              sim::kRunAtTimeArguments + std::strlen(sim::kRunAtTimeArguments));
    const uint32_t path_at = at + kHeader + kTrigger;
    const auto args_at = static_cast<uint32_t>(path_at + 2 * (path.size() + 1));
    const uint32_t words[] = {handle, 0, at + kHeader, 0, kTrigger, CNT_TIME, 0, path_at, args_at};
    std::vector<uint8_t> record(reinterpret_cast<const uint8_t*>(words),
                                reinterpret_cast<const uint8_t*>(words) + sizeof words);
    for (int i = 0; i < 2; ++i) {  // start and end: the one time
        const auto* t = reinterpret_cast<const uint8_t*>(&launch.at);
        record.insert(record.end(), t, t + sizeof launch.at);
    }
    for (const std::u16string* text : {&path, &args}) {
        const auto* b = reinterpret_cast<const uint8_t*>(text->c_str());
        record.insert(record.end(), b, b + 2 * (text->size() + 1));
    }
    return record;
}

// CeGetUserNotification(handle, size, needed, buffer): FALSE for a handle
// never given out, or (with the size needed) for a buffer too small.
void ServeCeGetUserNotification(Machine& m) {
    const char* service = "CeGetUserNotification";
    const uint32_t handle = Arg(m, 0);
    const uint32_t size = Arg(m, 1);
    const uint32_t buffer = Arg(m, 3);
    const sim::Launch* launch = sim::NotificationLaunch(sim::HostDevice(), handle);
    if (launch == nullptr) {
        SetResult(m, 0);
        return;
    }
    const std::vector<uint8_t> record = NotificationRecord(buffer, handle, *launch);
    const auto needed = static_cast<uint32_t>(record.size());
    if (Arg(m, 2) != 0 && !Give(m, Arg(m, 2), &needed, 4, service, "an unwritable size at")) {
        return;
    }
    if (size < needed) {
        SetResult(m, 0);
        return;
    }
    if (buffer % 4 != 0) {
        CrashInCaller(m, std::string(service) + " given a buffer not DWORD-aligned at " +
                             Hex(buffer));
        return;
    }
    if (Require(m, buffer, size, kWrite, service, "a buffer it cannot write at")) {
        uc_mem_write(m.uc, buffer, record.data(), record.size());
        SetResult(m, 1);
    }
}

void ServeGetFileAttributesW(Machine& m) {
    const std::optional<std::u16string> path = ReadUtf16(m, Arg(m, 0), "GetFileAttributesW");
    if (path) {
        const bool there = sim::FindFile(sim::HostDevice(), sim::ToUtf8(path->c_str())) != nullptr;
        SetResult(m, there ? kFileAttributeNormal : INVALID_FILE_ATTRIBUTES);
    }
}

// MessageBoxW(window, text, caption, type): recorded; the owner taps OK.
void ServeMessageBoxW(Machine& m) {
    const std::optional<std::u16string> text = ReadUtf16(m, Arg(m, 1), "MessageBoxW");
    std::optional<std::u16string> caption = std::u16string();
    if (text && Arg(m, 2) != 0) {
        caption = ReadUtf16(m, Arg(m, 2), "MessageBoxW");
    }
    if (text && caption) {
        sim::RecordMessageBox(sim::HostDevice(), sim::ToUtf8(caption->c_str()),
                              sim::ToUtf8(text->c_str()));
        SetResult(m, 1);  // IDOK
    }
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
};
const size_t kServiceCount = sizeof kServices / sizeof kServices[0];

}  // namespace cerun
