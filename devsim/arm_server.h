// A resident cerun for devsim years --arm: each program process is forked
// from an emulator set up once, which is what makes a long span of ARM runs
// about as quick as the host build (see cerun --serve).
#pragma once

#include <sys/types.h>

#include <string>

#include "process.h"

namespace devsim {

struct ArmServer {
    pid_t pid = -1;
    int fd = -1;  // our end of the request socket
};

// Starts `cerun --serve` from the command's runner, handing down the
// descriptor that holds the device's lock.
sim::Result<ArmServer> StartArmServer(const ProgramCommand& command, int lock_fd);

// Runs `command` (a device image under cerun) as RunProgram would.
ProcessResult RunOnArmServer(ArmServer& server, const ProgramCommand& command,
                             const std::string& state_file, bool quiet,
                             const PauseHandler& on_pause = {});

void StopArmServer(ArmServer& server);

}  // namespace devsim
