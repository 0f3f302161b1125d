// Starting a fixer program as its own process on a device state file.
#pragma once

#include <string>

namespace devsim {

struct ProcessResult {
    bool started = false;
    std::string why;  // when not started
    bool exited = false;
    int exit_code = 0;
    int signal = 0;
};

// The host build of `program`, in the directory that holds devsim, or in
// $DEVSIM_PROGRAM_DIR when that is set.
std::string ProgramPath(const std::string& program);

// Runs `path` to its end with the state file named in its environment; its
// debug output goes to our stdout, or nowhere when `quiet`.
ProcessResult RunProgram(const std::string& path, const std::string& state_file, bool quiet);

// A fresh, empty state file path in the temporary directory.
std::string TempStatePath();

}  // namespace devsim
