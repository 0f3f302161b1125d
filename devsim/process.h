// Starting a fixer program as its own process on a device state file.
#pragma once

#include <spawn.h>

#include <functional>
#include <string>
#include <vector>

#include "device.h"
#include "result.h"

namespace devsim {

struct ProcessResult {
    bool started = false;
    std::string why;  // when not started
    bool exited = false;
    int exit_code = 0;
    int signal = 0;
};

// How a fixer is started: its host build, or its device image under the
// ARM runner. Either way the process is called by the fixer's name.
struct ProgramCommand {
    std::string program;            // argv[0]
    std::string path;               // the file executed
    std::vector<std::string> args;  // after argv[0]
    size_t file_args = 0;           // how many of `args`, from the first, are files it reads
    bool arm = false;               // the ARM runner: spins are found by its instruction count
};

// The host build of `program`, or with `arm` cerun and device/PROGRAM.exe,
// in the directory that holds devsim, or in $DEVSIM_PROGRAM_DIR when set.
ProgramCommand CommandFor(const std::string& program, bool arm);

// Whether every one of `commands` can be run; for the first that cannot,
// says why on stderr ("devsim: program nuv is not built (no PATH)").
bool AllUsable(const std::vector<ProgramCommand>& commands);

// The setup library's function `export_name`, called as the handheld's
// installer calls it: the host build `setup EXPORT`, or with `arm` cerun
// device/setup.dll EXPORT; found as CommandFor finds a program.
ProgramCommand SetupCommand(const std::string& export_name, bool arm);

// Whether the files the command needs are there and usable; if not, what is
// wrong, to follow "program NAME": "is not built (no PATH)" or "cannot be
// run (PATH: Permission denied)".
sim::Status CheckProgram(const ProgramCommand& command);

// What devsim does while a program is paused, its process stopped at the
// device's pause time; the program goes on (SIGCONT) once it returns.
using PauseHandler = std::function<void()>;

// Runs `command` to its end with the state file named in its environment
// and the descriptor that holds its lock (`lock_fd`) handed down; its debug
// output goes to our stdout, or nowhere when `quiet`.
ProcessResult RunProgram(const ProgramCommand& command, const std::string& state_file,
                         int lock_fd, bool quiet, const PauseHandler& on_pause = {});

// Where a child finds the descriptor that holds the device's lock.
constexpr int kChildLockFd = 4;

// This environment for a program process: NUV_DEVICE_STATE naming
// `state_file` (unless empty) and the lock's descriptor named.
std::vector<std::string> ProgramEnvironment(const std::string& state_file);

// Adds to `actions` the handing down of `lock_fd` as kChildLockFd; returns
// a descriptor to close once the child is started.
int HandDownLock(posix_spawn_file_actions_t& actions, int lock_fd);

// Starts a child that a signal ending devsim kills too (see interrupt.h).
sim::Result<pid_t> SpawnChild(const std::string& path, std::vector<std::string> argv,
                              std::vector<std::string> env,
                              const posix_spawn_file_actions_t* actions);
// Waits for a child SpawnChild started; its wait status. A stop of the
// child's own is a pause: `on_pause` runs, then the child goes on.
int WaitChild(pid_t pid, const PauseHandler& on_pause = {});
// Whether the child stopped (and, `on_pause` done, was continued) rather
// than ended; waits for one or the other.
bool TakeStop(pid_t pid, const PauseHandler& on_pause);

// What a wait status says of a started process.
ProcessResult FromWaitStatus(int status);

// A fresh device state file made from `initial` in the temporary directory
// ($TMPDIR or /tmp); nullptr, the reason said on stderr, when it cannot be.
sim::DeviceState* CreateTempDevice(const sim::DeviceState& initial, std::string& path);
void RemoveTempDevice(const std::string& path);

// The device kept in `file`: made from `config` when the file does not
// exist; else the device as it was left, refused when `device_set` (the
// options that set up a device, named by `setup_options`, were given).
// nullptr, the reason said on stderr, when there is none.
sim::DeviceState* OpenKeptDevice(const std::string& file, const sim::DeviceConfig& config,
                                 bool device_set, const std::string& setup_options);

}  // namespace devsim
