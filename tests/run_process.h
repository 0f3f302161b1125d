// Runs a command line as a child process and collects what it printed.
#pragma once

#include <string>
#include <vector>

struct ProcessOutput {
    int exit_code = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// What a few tests do beside running the process.
struct RunExtras {
    int signal = 0;        // sent `after_ms` after the start
    int after_ms = 0;
    int stdout_fd = -1;    // the process's stdout instead of a file (out stays empty)
};

// `env` sets NAME=VALUE entries over this process's environment.
ProcessOutput RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {},
                         const RunExtras& extras = {});

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// devsim's stderr with each line it broke at 80 columns joined again.
std::string Unwrapped(const std::string& text);

// The lines of `text`, split at "\n".
std::vector<std::string> SplitLines(const std::string& text);
