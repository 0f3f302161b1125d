#include "process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "state_file.h"

extern char** environ;

namespace devsim {

std::string ProgramPath(const std::string& program) {
    const char* dir_override = std::getenv("DEVSIM_PROGRAM_DIR");
    if (dir_override != nullptr && *dir_override != '\0') {
        return std::string(dir_override) + "/" + program;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = ".";
    if (n > 0) {
        self[n] = '\0';
        dir = self;
        dir.resize(dir.rfind('/'));
    }
    return dir + "/" + program;
}

ProcessResult RunProgram(const std::string& path, const std::string& state_file, bool quiet) {
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
    std::string arg0 = path.substr(path.rfind('/') + 1);
    char* argv[] = {arg0.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.why = std::strerror(rc);
        return result;
    }
    result.started = true;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.why = std::strerror(errno);
            return result;
        }
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::string TempStatePath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/devsim-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) {
        close(fd);
    }
    return pattern;
}

}  // namespace devsim
