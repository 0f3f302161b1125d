// Named mutexes, the one kind of named object the programs use: a program
// that finds its name already open knows another instance of it runs. The
// names live as long as some running process holds a handle to them.
#pragma once

#include <optional>
#include <string>

#include "device_state.h"

namespace sim {

// GetLastError's values that CreateMutexW gives (winerror.h).
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorFilenameExcedRange = 206;
constexpr uint32_t kErrorAlreadyExists = 183;
// The longest name the platform takes, in UTF-16 units (MAX_PATH less the NUL).
constexpr size_t kMaxMutexNameUnits = 259;

// CreateMutexW with `name` (none: an unnamed mutex) of `units` UTF-16
// units: a handle of the running process's, with the last error 0, or
// ERROR_ALREADY_EXISTS when a process holds that name already (names are
// compared with their case); nothing, with the last error saying why, when
// the name is too long or no handle or name slot is free. Security
// attributes, which the platform requires NULL, are a breach.
std::optional<uint32_t> DeviceCreateMutex(DeviceState& d, bool attributes_given,
                                          const std::optional<std::string>& name, size_t units);
// The handle in slot `i` of the running process's table given back; a
// named mutex is gone with its last handle.
void DropHandle(DeviceState& d, size_t i);
// Every name gone: every process ended at once (a reset).
void ClearMutexes(DeviceState& d);
// Whether the names and the handles' kinds agree.
bool SaneMutexes(const DeviceState& d);

}  // namespace sim
