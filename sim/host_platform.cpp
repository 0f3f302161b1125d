#include "host_platform.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "debug_format.h"
#include "fd_io.h"
#include "platform.h"
#include "state_file.h"

namespace sim {

namespace {

HostBinding g_binding;
bool g_shared_device = false;  // the device lives in a state file devsim reads

void WriteAll(int fd, const std::string& text) { sim::WriteAll(fd, text.data(), text.size()); }

[[noreturn]] void NoDevice(const char* file, const std::string& why) {
    const std::string says = why == kInUse ? std::string("device ") + file + " is in use"
                                           : std::string("device state ") + file + ": " + why;
    WriteAll(2, std::string(program_invocation_short_name) + ": " + says + "\n");
    _exit(kNoDeviceExitCode);
}

// The descriptor a parent holds the device's lock on for us, or -1.
int InheritedLock() {
    const char* text = std::getenv(kLockFdEnv);
    return text != nullptr && *text >= '0' && *text <= '9' ? std::atoi(text) : -1;
}

// The binding a program process gets when nobody bound one.
void AttachDefault() {
    const char* file = std::getenv(kStateEnv);
    if (file != nullptr) {
        const Result<DeviceState*> d = OpenStateFile(file, InheritedLock());
        if (!d) {
            NoDevice(file, d.why());
        }
        g_binding.device = *d;
        g_shared_device = true;
    } else {
        static DeviceState private_device;
        DeviceConfig config;
        config.at = HostLocalTime();
        InitDevice(private_device, config);
        g_binding.device = &private_device;
    }
    g_binding.debug = [](const std::string& text) { WriteAll(1, text); };
    if (g_binding.device->os.io_trace != 0) {
        g_binding.io = [](const IoEvent& e) { WriteAll(2, FormatIo(e) + "\n"); };
    }
    g_binding.on_limit = [] { _exit(kLimitExitCode); };
}

DeviceState& Dev() {
    if (g_binding.device == nullptr) {
        AttachDefault();
    }
    return *g_binding.device;
}

}  // namespace

void BindHost(const HostBinding& binding) { g_binding = binding; }

void UnbindHost() { g_binding = HostBinding{}; }

void HostDebugOutput(const std::string& text) {
    Dev();
    if (g_binding.debug) {
        g_binding.debug(text);
    }
}

void EndWithFault(const std::string& fault) {
    DeviceState& d = Dev();
    if (g_shared_device) {
        std::snprintf(d.os.program_fault, sizeof d.os.program_fault, "%s", fault.c_str());
    } else {
        WriteAll(2, std::string(program_invocation_short_name) + " " + fault + "\n");
    }
    _exit(kFaultExitCode);
}

}  // namespace sim

using sim::Dev;
using sim::g_binding;

extern "C" {

BOOL SetKMode(BOOL fMode) { return sim::DeviceSetKMode(Dev(), fMode, g_binding.io); }

void NKDbgPrintfW(LPCWSTR lpszFmt, ...) {
    va_list args;
    va_start(args, lpszFmt);
    const std::string text = sim::FormatDebug(lpszFmt, [&args] { return va_arg(args, unsigned); });
    va_end(args);
    sim::HostDebugOutput(text);
}

BOOL IsAPIReady(DWORD hAPI) { return sim::DeviceApiReady(Dev(), hAPI) ? TRUE : FALSE; }

void Sleep(DWORD dwMilliseconds) {
    if (!sim::DeviceSleep(Dev(), dwMilliseconds)) {
        g_binding.on_limit();
        std::abort();  // on_limit must not return
    }
}

void GetLocalTime(SYSTEMTIME* lpSystemTime) { *lpSystemTime = sim::DeviceLocalTime(Dev()); }

BOOL CeRunAppAtTime(WCHAR* pwszAppName, SYSTEMTIME* lpTime) {
    return sim::DeviceRunAppAtTime(Dev(), sim::ToUtf8(pwszAppName), *lpTime, g_binding.io) ? TRUE
                                                                                          : FALSE;
}

DWORD PowerPolicyNotify(DWORD dwMessage, DWORD dwData) {
    sim::DevicePowerNotify(Dev(), dwMessage, dwData, g_binding.io);
    return 0;
}

}  // extern "C"

uint8_t ReadRegister(volatile uint8_t* reg) {
    return sim::DeviceRead(Dev(), reinterpret_cast<uintptr_t>(reg), g_binding.io);
}

void WriteRegister(volatile uint8_t* reg, uint8_t value) {
    sim::DeviceWrite(Dev(), reinterpret_cast<uintptr_t>(reg), value, g_binding.io);
}
