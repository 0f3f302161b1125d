#include "process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "interrupt.h"
#include "say.h"
#include "setup_calls.h"
#include "state_file.h"
#include "text.h"

extern char** environ;

namespace devsim {

namespace {

// The directory that holds devsim.
std::string SelfDir() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = ".";
    if (n > 0) {
        self[n] = '\0';
        dir = self;
        dir.resize(dir.rfind('/'));
    }
    return dir;
}

struct Places {
    std::string programs;  // the host programs and device/
    std::string cerun;     // the directory that holds cerun
};

// $DEVSIM_PROGRAM_DIR for everything; else, installed, the programs in
// ../libexec/nuv-fixers and cerun beside devsim; else (the build tree)
// everything beside devsim.
Places FindPlaces() {
    const char* dir_override = std::getenv("DEVSIM_PROGRAM_DIR");
    if (dir_override != nullptr && *dir_override != '\0') {
        return {dir_override, dir_override};
    }
    const std::string self = SelfDir();
    const std::string installed = self + "/../libexec/nuv-fixers";
    struct stat st {};
    return {stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? installed : self, self};
}

}  // namespace

ProgramCommand CommandFor(const std::string& program, bool arm) {
    const Places at = FindPlaces();
    if (arm) {
        return {program, at.cerun + "/cerun", {at.programs + "/device/" + program + ".exe"}, 1,
                true};
    }
    return {program, at.programs + "/" + program, {}, 0};
}

ProgramCommand SetupCommand(const std::string& export_name, bool arm) {
    const Places at = FindPlaces();
    if (arm) {
        return {sim::kSetupLibrary, at.cerun + "/cerun",
                {at.programs + "/device/" + sim::kSetupLibrary, export_name}, 1, true};
    }
    return {sim::kSetupLibrary, at.programs + "/" + sim::kSetupProgram, {export_name}, 0};
}

sim::Status CheckProgram(const ProgramCommand& command) {
    std::vector<std::pair<std::string, int>> needs = {{command.path, X_OK}};
    for (size_t i = 0; i < command.file_args && i < command.args.size(); ++i) {
        needs.emplace_back(command.args[i], R_OK);
    }
    for (const auto& [file, mode] : needs) {
        if (access(file.c_str(), F_OK) != 0) {
            return sim::Fail("is not built (no " + file + ")");
        }
        if (access(file.c_str(), mode) != 0) {
            return sim::Fail("cannot be run (" + file + ": " + std::strerror(errno) + ")");
        }
    }
    return sim::Ok();
}

bool AllUsable(const std::vector<ProgramCommand>& commands) {
    for (const ProgramCommand& c : commands) {
        if (const sim::Status usable = CheckProgram(c); !usable) {
            Say("devsim: program " + c.program + " " + usable.why() + "\n");
            return false;
        }
    }
    return true;
}

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& s : texts) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::vector<std::string> ProgramEnvironment(const std::string& state_file) {
    const std::string state = std::string(sim::kStateEnv) + "=";
    const std::string lock = std::string(sim::kLockFdEnv) + "=";
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, state.c_str(), state.size()) != 0 &&
            std::strncmp(*e, lock.c_str(), lock.size()) != 0) {
            env.emplace_back(*e);
        }
    }
    if (!state_file.empty()) {
        env.push_back(state + state_file);
    }
    env.push_back(lock + std::to_string(kChildLockFd));
    return env;
}

namespace {

}  // namespace

int HandDownLock(posix_spawn_file_actions_t& actions, int lock_fd) {
    // A descriptor above the child's: dup2 onto the same number would keep
    // close-on-exec set, and the child would start without the lock.
    const int copy = fcntl(lock_fd, F_DUPFD_CLOEXEC, kChildLockFd + 1);
    posix_spawn_file_actions_adddup2(&actions, copy, kChildLockFd);
    return copy;
}

sim::Result<pid_t> SpawnChild(const std::string& path, std::vector<std::string> argv,
                              std::vector<std::string> env,
                              const posix_spawn_file_actions_t* actions) {
    const std::vector<char*> args = Pointers(argv);
    const std::vector<char*> envp = Pointers(env);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    // A group of its own, so that a signal to devsim's ends everything the
    // child started (the ARM runner's programs) at once.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    HoldInterrupts();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), actions, &attr, args.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    SetInterruptChild(rc == 0 ? pid : 0);
    ReleaseInterrupts();
    if (rc != 0) {
        return sim::Fail(std::strerror(rc));
    }
    return pid;
}

bool TakeStop(pid_t pid, const PauseHandler& on_pause) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WSTOPPED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    if (info.si_code != CLD_STOPPED) {
        return false;
    }
    siginfo_t taken{};  // the stop, reported once
    while (waitid(P_PID, static_cast<id_t>(pid), &taken, WSTOPPED) < 0 && errno == EINTR) {
    }
    if (on_pause) {
        on_pause();
    }
    kill(pid, SIGCONT);
    return true;
}

int WaitChild(pid_t pid, const PauseHandler& on_pause) {
    // Waited for without reaping, so that a signal until it is forgotten
    // still kills this child and no other process of the same number. A
    // child that stops itself at a pause goes on once what happens then is done.
    while (TakeStop(pid, on_pause)) {
    }
    HoldInterrupts();
    SetInterruptChild(0);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ReleaseInterrupts();
    return status;
}

ProcessResult RunProgram(const ProgramCommand& command, const std::string& state_file,
                         int lock_fd, bool quiet, const PauseHandler& on_pause) {
    std::vector<std::string> argv{command.program};
    argv.insert(argv.end(), command.args.begin(), command.args.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int lock_copy = HandDownLock(actions, lock_fd);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    const sim::Result<pid_t> pid =
        SpawnChild(command.path, argv, ProgramEnvironment(state_file), &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(lock_copy);
    if (!pid) {
        ProcessResult result;
        result.why = pid.why();
        return result;
    }
    // A program that spins is stopped by its CPU time; the platform renews
    // the limit while device time moves (host_platform.cpp). The ARM
    // runner's own count finds spins: its limit is only a safety.
    const rlimit cpu{static_cast<rlim_t>(command.arm ? sim::kRunnerCpuSafetySeconds
                                                     : sim::kSpinCpuSeconds),
                     RLIM_INFINITY};
    prlimit(*pid, RLIMIT_CPU, &cpu, nullptr);
    return FromWaitStatus(WaitChild(*pid, on_pause));
}

ProcessResult FromWaitStatus(int status) {
    ProcessResult result;
    result.started = true;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

sim::DeviceState* CreateTempDevice(const sim::DeviceState& initial, std::string& path) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    const sim::Result<sim::DeviceState*> d = sim::CreateTempStateFile(dir, initial, path);
    if (!d) {
        Say("devsim: cannot create a device state in " + sim::Escaped(dir) + ": " + d.why() + "\n");
    }
    SetInterruptFile(d ? path : "");
    return d ? *d : nullptr;
}

void RemoveTempDevice(const std::string& path) {
    SetInterruptFile("");
    unlink(path.c_str());
}

sim::DeviceState* OpenKeptDevice(const std::string& file, const sim::DeviceConfig& config,
                                 bool device_set, const std::string& setup_options) {
    struct stat st {};
    if (stat(file.c_str(), &st) == 0) {
        if (device_set) {
            Say("devsim: " + sim::Escaped(file) + " already holds a device; " + setup_options +
                " set up a new one: remove " + sim::Escaped(file) +
                " (or name another file) to start over\n");
            return nullptr;
        }
        const sim::Result<sim::DeviceState*> d = sim::OpenStateFile(file);
        if (!d && d.why() == sim::kInUse) {
            Say("devsim: device " + sim::Escaped(file) + " is in use\n");
        } else if (!d) {
            Say("devsim: device state " + sim::Escaped(file) + ": " + d.why() + "\n");
        }
        return d ? *d : nullptr;
    }
    sim::DeviceState initial;
    sim::InitDevice(initial, config);
    const sim::Result<sim::DeviceState*> d = sim::CreateStateFile(file, initial);
    if (!d) {
        Say("devsim: cannot create device state " + sim::Escaped(file) + ": " + d.why() + "\n");
    }
    return d ? *d : nullptr;
}

}  // namespace devsim
