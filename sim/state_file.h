// The device state shared between devsim and the program processes: a file
// holding one DeviceState, mapped by both.
#pragma once

#include <string>

#include "device_state.h"

namespace sim {

// Environment variable that names the state file for a program process.
constexpr const char* kStateEnv = "NUV_DEVICE_STATE";
// Exit codes of a program process that the host platform stopped itself.
constexpr int kLimitExitCode = 124;     // a Sleep would have passed the limit
constexpr int kNoDeviceExitCode = 125;  // the state file is missing or damaged
constexpr int kFaultExitCode = 123;     // the ARM runner could not load or go on running it

// Creates (or replaces) the file with `initial` and maps it.
DeviceState* CreateStateFile(const std::string& path, const DeviceState& initial,
                             std::string& why);
// Maps an existing file after checking that it holds a sound DeviceState.
DeviceState* OpenStateFile(const std::string& path, std::string& why);
void CloseStateFile(DeviceState* state);

// Empty when `d` is a sound state; otherwise what is wrong with it.
std::string CheckState(const DeviceState& d);

}  // namespace sim
