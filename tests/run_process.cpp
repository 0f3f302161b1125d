#include "run_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ProcessOutput RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const RunExtras& extras) {
    char out_path[] = "/tmp/nuv-test-out-XXXXXX";
    char err_path[] = "/tmp/nuv-test-err-XXXXXX";
    const int out_fd = mkstemp(out_path);
    const int err_fd = mkstemp(err_path);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, extras.stdout_fd >= 0 ? extras.stdout_fd : out_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (std::string& a : copy) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    std::vector<std::string> env_copy = env;
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string name(*e, std::strcspn(*e, "="));
        const bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string& s) {
            return s.compare(0, name.size() + 1, name + "=") == 0;
        });
        if (!replaced) {
            envp.push_back(*e);
        }
    }
    for (std::string& e : env_copy) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    ProcessOutput result;
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0) {
        if (extras.signal != 0) {
            usleep(static_cast<useconds_t>(extras.after_ms) * 1000);
            kill(pid, extras.signal);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out_fd);
    close(err_fd);
    result.out = ReadFile(out_path);
    result.err = ReadFile(err_path);
    unlink(out_path);
    unlink(err_path);
    return result;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Unwrapped(const std::string& text) {
    std::string out = text;
    for (size_t at = out.find("\n        "); at != std::string::npos;
         at = out.find("\n        ", at)) {
        out.replace(at, 9, " ");
    }
    return out;
}
