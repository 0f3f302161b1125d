// Host side of the platform boundary: the seven services and the register bus
// of platform.h, served by a simulated device.
#pragma once

#include <functional>
#include <string>

#include "device.h"

namespace sim {

struct HostBinding {
    DeviceState* device = nullptr;
    std::function<void(const std::string&)> debug;  // each formatted trace text
    IoObserver io;                                  // every register access and mode change
    // A Sleep hit the limit: ends the process, or stops the program's
    // emulation (a resident runner) and returns, the clock unmoved.
    std::function<void()> on_limit;
    // A Sleep reached the pause time: the process stops itself until devsim
    // has done what happens then (SIGSTOP, continued with SIGCONT). Unset:
    // the process's own stop.
    std::function<void()> on_pause;
};

// Serves the platform calls of this process from `binding` until UnbindHost.
// Without a binding, the first call attaches to the state file named in the
// environment, or to a private device at the host's local time.
void BindHost(const HostBinding& binding);
// For the ARM runner, whose instruction count finds spins: its CPU time is
// held only to kRunnerCpuSafetySeconds. Called before the device is reached.
void UseRunnerCpuSafety();
void UnbindHost();

// The device this process serves, attached as the first call would attach it.
DeviceState& HostDevice();

// What another way of running a program (the ARM runner) needs beside the
// seven services: the trace sink, and an end for a fault of the program's own.
void HostDebugOutput(const std::string& text);
// Records `fault` ("crashed (...)") on the device for devsim, or shows it on
// stderr on a private device, and ends the process with kFaultExitCode.
[[noreturn]] void EndWithFault(const std::string& fault);
// The same without ending the process, for a runner that goes on.
void RecordFault(const std::string& fault);

// For a runner that runs program after program in this one process (cerun
// --serve): the binding a program process gets on the device in the state
// file `file`, but its trace handed to `debug` and the limit to `on_limit`,
// which returns. The CPU-time guard is left to the runner. The device.
DeviceState& BindResident(const std::string& file,
                          const std::function<void(const std::string&)>& debug,
                          const std::function<void()>& on_limit,
                          const std::function<void()>& on_pause);

}  // namespace sim

// CloseHandle for the host builds of the setup library and the status
// program, whose boundaries declare it with their own HANDLE (void*).
extern "C" BOOL CloseHandle(void* hObject);
