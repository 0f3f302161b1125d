#include "arm_server.h"

#include <spawn.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>

#include "fd_io.h"

extern char** environ;

namespace devsim {

namespace {

constexpr int kServerFd = 3;
// How often a launch with no answer yet is checked for a pause.
constexpr int kPauseCheckMs = 20;

}  // namespace

sim::Result<ArmServer> StartArmServer(const ProgramCommand& command, int lock_fd) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        return sim::Fail(std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], kServerFd);
    const int lock_copy = HandDownLock(actions, lock_fd);
    const sim::Result<pid_t> pid = SpawnChild(
        command.path, {"cerun", "--serve", std::to_string(kServerFd)}, ProgramEnvironment(""),
        &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(lock_copy);
    close(sv[1]);
    if (!pid) {
        close(sv[0]);
        return sim::Fail(pid.why());
    }
    return ArmServer{*pid, sv[0]};
}

namespace {

// Why the runner is gone, once it is reaped: it closes its socket only by ending.
std::string RunnerGone(ArmServer& server) {
    if (server.pid <= 0) {
        return "the resident ARM runner stopped";
    }
    kill(server.pid, SIGKILL);  // should it still be there, it answers no more
    const int status = WaitChild(server.pid);
    server.pid = -1;
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
        return "the resident ARM runner stopped during its launch (signal " +
               std::to_string(WTERMSIG(status)) + ", " + strsignal(WTERMSIG(status)) + ")";
    }
    return WIFEXITED(status) ? "the resident ARM runner stopped (it exited with " +
                                   std::to_string(WEXITSTATUS(status)) + ")"
                             : "the resident ARM runner stopped";
}

// Waits for the runner's answer; meanwhile the runner stopping itself is a
// pause of the launch, handled as for a program process.
bool AwaitAnswer(ArmServer& server, const PauseHandler& on_pause) {
    for (;;) {
        pollfd answer{server.fd, POLLIN, 0};
        const int ready = poll(&answer, 1, kPauseCheckMs);
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return ready > 0;
        }
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(server.pid), &info,
                   WSTOPPED | WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == server.pid && info.si_code == CLD_STOPPED) {
            TakeStop(server.pid, on_pause);
        }
    }
}

}  // namespace

ProcessResult RunOnArmServer(ArmServer& server, const ProgramCommand& command,
                             const std::string& state_file, bool quiet,
                             const PauseHandler& on_pause) {
    std::string fields = command.program + '\0' + command.args.at(0) + '\0' + state_file + '\0' +
                         (quiet ? "1" : "0") + '\0';
    const auto size = static_cast<uint32_t>(fields.size());
    int32_t status = 0;
    ProcessResult result;
    if (!sim::SendAll(server.fd, &size, sizeof size) ||
        !sim::SendAll(server.fd, fields.data(), fields.size()) ||
        !AwaitAnswer(server, on_pause) || !sim::ReadAll(server.fd, &status, sizeof status)) {
        result.why = RunnerGone(server);
        return result;
    }
    return FromWaitStatus(status);
}

void StopArmServer(ArmServer& server) {
    if (server.fd >= 0) {
        close(server.fd);
        server.fd = -1;
    }
    if (server.pid > 0) {
        WaitChild(server.pid);
        server.pid = -1;
    }
}

}  // namespace devsim
