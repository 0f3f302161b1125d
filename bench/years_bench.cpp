// Times `devsim years` over the whole default span on the host build and on
// the device executables under cerun (--arm), beside starting as many no-op
// processes the same way, all in one run so that the ratios hold on a noisy
// machine.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

struct Span {
    double seconds = 0;
    std::string summary;
};

// `devsim years --quiet [extra]`; an empty summary when it failed.
Span TimeYears(const char* devsim, const char* extra) {
    char out_name[] = "/tmp/years-bench-XXXXXX";
    const int out_fd = mkstemp(out_name);
    std::vector<char*> argv = {const_cast<char*>(devsim), const_cast<char*>("years"),
                               const_cast<char*>("--quiet")};
    if (extra != nullptr) {
        argv.push_back(const_cast<char*>(extra));
    }
    argv.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const int status = RunWait(devsim, argv.data(), out_fd);
    Span span{Seconds(t0), {}};
    char summary[512] = {};
    const ssize_t n = pread(out_fd, summary, sizeof summary - 1, 0);
    close(out_fd);
    unlink(out_name);
    if (status == 0 && n > 0) {
        span.summary = summary;
    } else {
        std::fprintf(stderr, "devsim years %s failed (status %d): %s\n", extra ? extra : "",
                     status, summary);
    }
    return span;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: years_bench PATH/TO/devsim\n");
        return 2;
    }
    const Span host = TimeYears(argv[1], nullptr);
    const Span arm = TimeYears(argv[1], "--arm");
    const char* at = std::strstr(host.summary.c_str(), "launches=");
    const long starts = at != nullptr ? std::atol(at + 9) : 0;
    if (host.summary.empty() || arm.summary.empty() || starts <= 0) {
        return 1;
    }
    if (arm.summary != host.summary) {
        std::fprintf(stderr, "the ARM path disagrees:\n%s%s", host.summary.c_str(),
                     arm.summary.c_str());
        return 1;
    }

    char* true_argv[] = {const_cast<char*>("/bin/true"), nullptr};
    const auto t1 = std::chrono::steady_clock::now();
    for (long i = 0; i < starts; ++i) {
        RunWait("/bin/true", true_argv, -1);
    }
    const double noop_s = Seconds(t1);

    std::printf("%s", host.summary.c_str());
    std::printf("%-26s %8s %10s %s\n", "", "wall", "starts/s", "ratio");
    std::printf("%-26s %7.3fs %10.0f\n", "no-op processes", noop_s,
                static_cast<double>(starts) / noop_s);
    std::printf("%-26s %7.3fs %10.0f %5.2f x no-op\n", "devsim years (host build)", host.seconds,
                static_cast<double>(starts) / host.seconds, host.seconds / noop_s);
    std::printf("%-26s %7.3fs %10.0f %5.2f x host\n", "devsim years --arm", arm.seconds,
                static_cast<double>(starts) / arm.seconds, arm.seconds / host.seconds);
    return 0;
}
