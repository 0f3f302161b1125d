// The device state shared between devsim and the program processes: a file
// holding one DeviceState, mapped by both.
#pragma once

#include <string>

#include "device_state.h"
#include "result.h"

namespace sim {

// Environment variable that names the state file for a program process.
constexpr const char* kStateEnv = "NUV_DEVICE_STATE";
// Exit codes of a program process that the host platform stopped itself.
constexpr int kLimitExitCode = 124;     // a Sleep would have passed the limit
constexpr int kNoDeviceExitCode = 125;  // the state file is missing or damaged
constexpr int kFaultExitCode = 123;     // the runner or platform ended it (program_fault says why)

// A program that runs this long on the CPU without a Sleep that moves
// device time is stopped as spinning (RLIMIT_CPU, renewed while time moves).
constexpr int kSpinCpuSeconds = 2;
// What such a program's run is ended with; the number is kSpinCpuSeconds.
constexpr char kSpinCpuFault[] = "spins: no Sleep for 2 s of CPU time";
// The ARM runner finds spins by its exact instruction count; its CPU time
// is only a safety against a runner gone wrong, far above what the count
// allows can cost on a loaded host.
constexpr int kRunnerCpuSafetySeconds = 120;
constexpr char kRunnerCpuFault[] = "the ARM runner ran 120 s of CPU time without a Sleep";

// Creates the file with `initial` and maps it. Never over an existing file
// nor through a symbolic link; on failure nothing is left behind, and `why`
// is the system's reason ("No space left on device").
Result<DeviceState*> CreateStateFile(const std::string& path, const DeviceState& initial);
// The same for a fresh file of a name of its own (devsim-XXXXXX) in `dir`,
// made without a moment in which another user could put a file in its place.
Result<DeviceState*> CreateTempStateFile(const std::string& dir, const DeviceState& initial,
                                         std::string& path);
// Maps an existing file after checking that it holds a sound DeviceState.
// `inherited_fd`, when it is open on the same file, is a descriptor whose
// lock a parent (devsim) holds for this process.
Result<DeviceState*> OpenStateFile(const std::string& path, int inherited_fd = -1);
void CloseStateFile(DeviceState* state);

// One device, one user at a time: every state file devsim or a program maps
// is locked (flock) until it is closed. `why` is kInUse when another holds it.
constexpr const char* kInUse = "in use";
// The descriptor that holds a mapped state's lock, for a child to inherit.
int LockDescriptor(const DeviceState* state);
// Environment variable naming the inherited descriptor in a program process.
constexpr const char* kLockFdEnv = "NUV_DEVICE_LOCK_FD";

// Whether `d` is a sound state, and if not what is wrong with it.
Status CheckState(const DeviceState& d);

}  // namespace sim
