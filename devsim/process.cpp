#include "process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "state_file.h"

extern char** environ;

namespace devsim {

namespace {

std::string ProgramDir() {
    const char* dir_override = std::getenv("DEVSIM_PROGRAM_DIR");
    if (dir_override != nullptr && *dir_override != '\0') {
        return dir_override;
    }
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

}  // namespace

ProgramCommand CommandFor(const std::string& program, bool arm) {
    const std::string dir = ProgramDir();
    if (arm) {
        return {program, dir + "/cerun", {dir + "/device/" + program + ".exe"}};
    }
    return {program, dir + "/" + program, {}};
}

std::string MissingFile(const ProgramCommand& command) {
    if (access(command.path.c_str(), X_OK) != 0) {
        return command.path;
    }
    for (const std::string& file : command.args) {
        if (access(file.c_str(), R_OK) != 0) {
            return file;
        }
    }
    return {};
}

ProcessResult RunProgram(const ProgramCommand& command, const std::string& state_file,
                         bool quiet) {
    ProcessResult result;
    const std::string prefix = std::string(sim::kStateEnv) + "=";
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0) {
            env_text.emplace_back(*e);
        }
    }
    env_text.push_back(prefix + state_file);
    std::vector<char*> envp;
    for (std::string& s : env_text) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> arg_text{command.program};
    arg_text.insert(arg_text.end(), command.args.begin(), command.args.end());
    std::vector<char*> argv;
    for (std::string& s : arg_text) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc =
        posix_spawn(&pid, command.path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.why = std::strerror(rc);
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.started = true;
            result.why = std::strerror(errno);
            return result;
        }
    }
    return FromWaitStatus(status);
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
    std::string why;
    sim::DeviceState* d = sim::CreateTempStateFile(dir, initial, path, why);
    if (d == nullptr) {
        std::cerr << "devsim: cannot create a device state in " << dir << ": " << why << "\n";
    }
    return d;
}

}  // namespace devsim
