#include "interrupt.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace devsim {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile sig_atomic_t g_child = 0;
char g_file[4096];  // NUL-terminated; read only by the handler
volatile sig_atomic_t g_have_file = 0;

// Only async-signal-safe calls: kill, waitpid, unlink, _exit.
void OnSignal(int signal) {
    CleanUpForExit();
    _exit(128 + signal);
}

sigset_t Interrupts() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kSignals) {
        sigaddset(&set, s);
    }
    return set;
}

}  // namespace

void CleanUpForExit() {
    const pid_t child = g_child;
    if (child > 0) {
        kill(-child, SIGKILL);  // its group: the child and whatever it started
        waitpid(child, nullptr, 0);
    }
    if (g_have_file != 0) {
        unlink(g_file);
    }
}

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_mask = Interrupts();  // one handler at a time
    for (const int s : kSignals) {
        sigaction(s, &action, nullptr);
    }
}

void HoldInterrupts() {
    const sigset_t set = Interrupts();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

void ReleaseInterrupts() {
    const sigset_t set = Interrupts();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void SetInterruptChild(pid_t pid) {
    g_child = pid;
}

void SetInterruptFile(const std::string& path) {
    HoldInterrupts();
    g_have_file = 0;
    if (!path.empty() && path.size() < sizeof g_file) {
        std::memcpy(g_file, path.c_str(), path.size() + 1);
        g_have_file = 1;
    }
    ReleaseInterrupts();
}

}  // namespace devsim
