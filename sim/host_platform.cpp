#include "host_platform.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "debug_format.h"
#include "event_starts.h"
#include "fd_io.h"
#include "owner_device.h"
#include "platform.h"
#include "state_file.h"
#include "text.h"
#include "truncation.h"

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

// One line of the io log, at the device's clock.
void WriteIoLine(const std::string& what) {
    WriteAll(2, FormatClock(g_binding.device->os.clock_ms) + " " + what + "\n");
}

// The trace in the io log too, line by line, in order with the device's
// actions: what was traced before a write shows before it.
void TraceToIoLog(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        WriteIoLine("trace " + Escaped(line));
        at = end + 1;
    }
}

// The clock when the CPU limit was last renewed.
volatile int64_t g_clock_at_renewal = 0;
// How long a process may run without a Sleep, and what ends it then: a
// program's spin rule, or the ARM runner's safety.
int g_cpu_seconds = kSpinCpuSeconds;
const char* g_cpu_fault = kSpinCpuFault;

// Sets the CPU-time limit kSpinCpuSeconds past what this process has used,
// counted up to the next whole second: with the two parts' seconds only
// the limit could fall at once, before the program had any time to sleep.
void RenewCpuLimit() {
    rusage used {};
    getrusage(RUSAGE_SELF, &used);
    const auto micros = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) * 1000000 +
                        static_cast<rlim_t>(used.ru_utime.tv_usec + used.ru_stime.tv_usec);
    const rlimit limit{(micros + 999999) / 1000000 + static_cast<rlim_t>(g_cpu_seconds),
                       RLIM_INFINITY};
    setrlimit(RLIMIT_CPU, &limit);
}

// SIGXCPU: the limit is reached. Device time moved since it was set: the
// program is working, and gets more; it did not: it spins, and is ended.
// Only async-signal-safe calls (getrusage, setrlimit, memcpy, _exit).
void OnCpuLimit(int /*signal*/) {
    DeviceState& d = *g_binding.device;
    if (d.os.clock_ms != g_clock_at_renewal) {
        g_clock_at_renewal = d.os.clock_ms;
        RenewCpuLimit();
        return;
    }
    static_assert(sizeof kSpinCpuFault <= sizeof d.os.program_fault, "the fault fits its record");
    static_assert(sizeof kRunnerCpuFault <= sizeof d.os.program_fault, "the fault fits its record");
    std::memcpy(d.os.program_fault, g_cpu_fault, std::strlen(g_cpu_fault) + 1);
    _exit(kFaultExitCode);
}

}  // namespace

void UseRunnerCpuSafety() {
    g_cpu_seconds = kRunnerCpuSafetySeconds;
    g_cpu_fault = kRunnerCpuFault;
}

namespace {

// A program on devsim's device: it says it got there, and a truncated
// state file or a spin ends it with a reason rather than a crash or a hang.
void AttachShared(const char* file) {
    const Result<DeviceState*> d = OpenStateFile(file, InheritedLock());
    if (!d) {
        NoDevice(file, d.why());
    }
    g_binding.device = *d;
    g_shared_device = true;
    (*d)->os.program_attached = 1;
    ExitOnTruncation(program_invocation_short_name, kNoDeviceExitCode, nullptr);
    g_clock_at_renewal = (*d)->os.clock_ms;
    std::signal(SIGXCPU, OnCpuLimit);
    RenewCpuLimit();
}

// The trace could not be written: devsim is told, or on a private device
// the run ends here with one line.
void TraceLost(int err) {
    if (!g_shared_device) {
        WriteAll(2, std::string(program_invocation_short_name) +
                        ": cannot write the debug output: " + std::strerror(err) + "\n");
        _exit(1);
    }
    if (g_binding.device->os.trace_errno == 0) {
        g_binding.device->os.trace_errno = err;
    }
}

// The binding a program process gets when nobody bound one.
void AttachDefault() {
    const char* file = std::getenv(kStateEnv);
    if (file != nullptr) {
        AttachShared(file);
    } else {
        static DeviceState private_device;
        DeviceConfig config;
        config.at = HostLocalTime();
        InitDevice(private_device, config);
        g_binding.device = &private_device;
    }
    g_binding.debug = [](const std::string& text) {
        if (!sim::WriteAll(1, text.data(), text.size())) {
            TraceLost(errno);
        }
    };
    if (g_binding.device->os.io_trace != 0) {
        g_binding.io = [](const IoEvent& e) { WriteIoLine(FormatIo(e)); };
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

DeviceState& HostDevice() { return Dev(); }

void BindHost(const HostBinding& binding) { g_binding = binding; }

void UnbindHost() { g_binding = HostBinding{}; }

void HostDebugOutput(const std::string& text) {
    const DeviceState& d = Dev();
    if (g_binding.debug) {
        g_binding.debug(text);
    }
    if (d.os.io_trace != 0 && g_binding.io) {
        TraceToIoLog(text);
    }
}

void RecordFault(const std::string& fault) {
    DeviceState& d = Dev();
    if (g_shared_device) {
        std::snprintf(d.os.program_fault, sizeof d.os.program_fault, "%s", fault.c_str());
    } else {
        WriteAll(2, std::string(program_invocation_short_name) + " " + fault + "\n");
    }
}

void EndWithFault(const std::string& fault) {
    RecordFault(fault);
    _exit(kFaultExitCode);
}

DeviceState& BindResident(const std::string& file,
                          const std::function<void(const std::string&)>& debug,
                          const std::function<void()>& on_limit,
                          const std::function<void()>& on_pause) {
    const char* bound = std::getenv(kStateEnv);
    if (g_binding.device == nullptr || bound == nullptr || file != bound) {
        UnbindHost();
        setenv(kStateEnv, file.c_str(), 1);
        AttachDefault();
        // Spins are the runner's to find: its time is many programs'.
        std::signal(SIGXCPU, SIG_IGN);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_CPU, &unlimited);
    }
    g_binding.debug = debug;
    g_binding.on_limit = on_limit;
    g_binding.on_pause = on_pause;
    g_binding.io = {};
    if (g_binding.device->os.io_trace != 0) {
        g_binding.io = [](const IoEvent& e) { WriteIoLine(FormatIo(e)); };
    }
    g_binding.device->os.program_attached = 1;
    return *g_binding.device;
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

// Paused where devsim has something happen meanwhile (the owner's next
// action, an event), the program sleeps on afterwards, as the device's
// programs keep running while the owner acts; or ends, when that ended it.
void Sleep(DWORD dwMilliseconds) {
    sim::DeviceState& d = Dev();
    const int64_t target = d.os.clock_ms + dwMilliseconds;
    for (;;) {
        switch (sim::DeviceSleepUntil(d, target)) {
            case sim::Slept::Done: return;
            case sim::Slept::Limit:
                g_binding.on_limit();  // ends the process, or stops a resident program
                return;
            case sim::Slept::Pause:
                if (g_binding.on_pause) {
                    g_binding.on_pause();
                } else {
                    raise(SIGSTOP);
                }
                if (!sim::ResumeAfterPause(d)) {
                    g_binding.on_limit();
                    return;
                }
        }
    }
}

void GetLocalTime(SYSTEMTIME* lpSystemTime) { *lpSystemTime = sim::DeviceLocalTime(Dev()); }

BOOL CeRunAppAtTime(WCHAR* pwszAppName, SYSTEMTIME* lpTime) {
    const std::string path = sim::ToUtf8(pwszAppName);
    if (lpTime == nullptr) {  // documented: deletes the pending request
        return sim::DeviceWithdrawLaunch(Dev(), path, g_binding.io) ? TRUE : FALSE;
    }
    return sim::DeviceRunAppAtTime(Dev(), path, *lpTime, g_binding.io) ? TRUE : FALSE;
}

BOOL CeRunAppAtEvent(WCHAR* pwszAppName, LONG lWhichEvent) {
    return sim::DeviceRunAppAtEvent(Dev(), sim::ToUtf8(pwszAppName), lWhichEvent) ? TRUE : FALSE;
}

// The setup library's and the status program's: a handle a process was
// given (CreateProcessW, CreateMutexW) given back.
BOOL CloseHandle(void* hObject) {
    const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hObject));
    return sim::DeviceCloseHandle(Dev(), value) ? TRUE : FALSE;
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
