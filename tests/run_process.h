// Runs a command line as a child process and collects what it printed.
#pragma once

#include <string>
#include <vector>

struct ProcessOutput {
    int exit_code = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// `env` adds NAME=VALUE entries to this process's environment.
ProcessOutput RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {});

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The lines of `text`, split at "\n".
std::vector<std::string> SplitLines(const std::string& text);
