// Times `devsim years` over the whole default span on the host build and on
// the device executables under cerun (--arm), interleaved over several runs
// so that the ratios hold on a noisy machine, beside starting as many no-op
// processes the same way. Wall and CPU time (the process and all it waited
// for), min and median.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Cost {
    double wall = 0;
    double cpu = 0;
};

double ChildrenCpu() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return s(r.ru_utime) + s(r.ru_stime);
}

// Runs `argv` to its end, stdout to `out_fd` (or inherited); its cost and status.
Cost RunWait(char* const argv[], int out_fd, int& status) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out_fd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    }
    const double cpu0 = ChildrenCpu();
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) == 0) {
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
            ChildrenCpu() - cpu0};
}

// `devsim years --quiet [extra]`: its cost, and its summary (empty on failure).
Cost TimeYears(const char* devsim, const char* extra, std::string& summary) {
    char out_name[] = "/tmp/years-bench-XXXXXX";
    const int out_fd = mkstemp(out_name);
    std::vector<char*> argv = {const_cast<char*>(devsim), const_cast<char*>("years"),
                               const_cast<char*>("--quiet")};
    if (extra != nullptr) {
        argv.push_back(const_cast<char*>(extra));
    }
    argv.push_back(nullptr);
    int status = 0;
    const Cost cost = RunWait(argv.data(), out_fd, status);
    char text[512] = {};
    const ssize_t n = pread(out_fd, text, sizeof text - 1, 0);
    close(out_fd);
    unlink(out_name);
    summary = status == 0 && n > 0 ? text : "";
    if (summary.empty()) {
        std::fprintf(stderr, "devsim years %s failed (status %d): %s\n", extra ? extra : "",
                     status, text);
    }
    return cost;
}

Cost NoOps(long starts) {
    char* true_argv[] = {const_cast<char*>("/bin/true"), nullptr};
    Cost total;
    for (long i = 0; i < starts; ++i) {
        int status = 0;
        const Cost c = RunWait(true_argv, -1, status);
        total.wall += c.wall;
        total.cpu += c.cpu;
    }
    return total;
}

struct Series {
    std::vector<double> wall, cpu;
    void Add(const Cost& c) {
        wall.push_back(c.wall);
        cpu.push_back(c.cpu);
    }
};

double Min(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Row(const char* what, const Series& s) {
    std::printf("%-26s %7.3f %7.3f %7.3f %7.3f\n", what, Min(s.wall), Median(s.wall), Min(s.cpu),
                Median(s.cpu));
}

// Ratios of each run against the host run beside it, min and median.
void Ratio(const char* what, const Series& s, const Series& base) {
    std::vector<double> wall, cpu;
    for (size_t i = 0; i < s.wall.size(); ++i) {
        wall.push_back(s.wall[i] / base.wall[i]);
        cpu.push_back(s.cpu[i] / base.cpu[i]);
    }
    std::printf("%-26s %6.2fx %6.2fx %6.2fx %6.2fx\n", what, Min(wall), Median(wall), Min(cpu),
                Median(cpu));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: years_bench PATH/TO/devsim [RUNS (default 5)]\n");
        return 2;
    }
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    Series host, arm, noop;
    std::string host_summary, arm_summary;
    for (int i = 0; i < runs; ++i) {
        host.Add(TimeYears(argv[1], nullptr, host_summary));
        arm.Add(TimeYears(argv[1], "--arm", arm_summary));
        const char* at = std::strstr(host_summary.c_str(), "launches=");
        if (host_summary.empty() || arm_summary != host_summary || at == nullptr) {
            std::fprintf(stderr, "the ARM path disagrees:\n%s%s", host_summary.c_str(),
                         arm_summary.c_str());
            return 1;
        }
        noop.Add(NoOps(std::atol(at + 9)));
    }
    std::printf("%s%d interleaved runs, seconds     wall            cpu\n", host_summary.c_str(),
                runs);
    std::printf("%-26s %7s %7s %7s %7s\n", "", "min", "median", "min", "median");
    Row("no-op processes", noop);
    Row("devsim years (host build)", host);
    Row("devsim years --arm", arm);
    Ratio("host / no-op", host, noop);
    Ratio("--arm / host", arm, host);
    return 0;
}
