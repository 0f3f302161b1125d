#include "truncation.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

namespace sim {

namespace {

constexpr int kMaxWatched = 4;  // a process maps one state, a test a few

struct Watched {
    const char* begin;
    const char* end;
    char path[4096];
};

Watched g_watched[kMaxWatched];
volatile sig_atomic_t g_in_use[kMaxWatched];
char g_who[64];
int g_exit_code = 2;
void (*g_cleanup)() = nullptr;

void Say(const char* text) {
    if (write(2, text, std::strlen(text)) < 0) {
        return;  // nobody to tell
    }
}

// Only async-signal-safe calls: write, the cleanup, _exit, and re-raising.
void OnBusError(int signal, siginfo_t* info, void* /*context*/) {
    const char* at = static_cast<const char*>(info->si_addr);
    for (int i = 0; i < kMaxWatched; ++i) {
        if (g_in_use[i] != 0 && at >= g_watched[i].begin && at < g_watched[i].end) {
            Say(g_who);
            Say(": device state ");
            Say(g_watched[i].path);
            Say(" was truncated during the run\n");
            if (g_cleanup != nullptr) {
                g_cleanup();
            }
            _exit(g_exit_code);
        }
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

void WatchMapping(const void* at, size_t size, const std::string& path) {
    for (int i = 0; i < kMaxWatched; ++i) {
        if (g_in_use[i] == 0 && path.size() < sizeof g_watched[i].path) {
            g_watched[i].begin = static_cast<const char*>(at);
            g_watched[i].end = g_watched[i].begin + size;
            std::memcpy(g_watched[i].path, path.c_str(), path.size() + 1);
            g_in_use[i] = 1;
            return;
        }
    }
}

void ForgetMapping(const void* at) {
    for (int i = 0; i < kMaxWatched; ++i) {
        if (g_in_use[i] != 0 && g_watched[i].begin == at) {
            g_in_use[i] = 0;
        }
    }
}

void ExitOnTruncation(const char* who, int exit_code, void (*cleanup)()) {
    std::strncpy(g_who, who, sizeof g_who - 1);
    g_exit_code = exit_code;
    g_cleanup = cleanup;
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

}  // namespace sim
