// Times `devsim years` over the whole default span and compares it with
// starting the same number of no-op processes the same way.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int RunWait(const char* path, char* const argv[], int out_fd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out_fd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    }
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) == 0) {
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: years_bench PATH/TO/devsim\n");
        return 2;
    }
    char out_name[] = "/tmp/years-bench-XXXXXX";
    const int out_fd = mkstemp(out_name);
    char* devsim_argv[] = {argv[1], const_cast<char*>("years"), const_cast<char*>("--quiet"),
                           nullptr};
    const auto t0 = std::chrono::steady_clock::now();
    const int status = RunWait(argv[1], devsim_argv, out_fd);
    const double years_s = Seconds(t0);

    char summary[512] = {};
    const ssize_t n = pread(out_fd, summary, sizeof summary - 1, 0);
    close(out_fd);
    unlink(out_name);
    const char* at = n > 0 ? std::strstr(summary, "launches=") : nullptr;
    const long starts = at != nullptr ? std::atol(at + 9) : 0;
    if (status != 0 || starts <= 0) {
        std::fprintf(stderr, "devsim years failed (status %d): %s\n", status, summary);
        return 1;
    }

    char* true_argv[] = {const_cast<char*>("/bin/true"), nullptr};
    const auto t1 = std::chrono::steady_clock::now();
    for (long i = 0; i < starts; ++i) {
        RunWait("/bin/true", true_argv, -1);
    }
    const double noop_s = Seconds(t1);

    std::printf("%s", summary);
    std::printf("devsim years: %.3f s wall, %ld program starts, %.0f starts/s\n", years_s, starts,
                static_cast<double>(starts) / years_s);
    std::printf("no-op processes: %.3f s for %ld starts; ratio %.2f\n", noop_s, starts,
                years_s / noop_s);
    return 0;
}
