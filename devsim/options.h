// Command-line parsing for devsim: each command's options as a table, walked
// by one loop; every error is one line naming the problem.
#pragma once

#include <string>
#include <vector>

#include "device.h"
#include "fixers.h"
#include "result.h"

namespace devsim {

struct RunOptions {
    std::string program;
    sim::DeviceConfig device;
    bool at_given = false;    // --at; otherwise the device starts at the host's now
    bool device_set = false;  // an option that sets up the device was given
    std::string state_file;   // --state: the device lives on in this file
    bool arm = false;         // run the device image under the ARM runner
};

struct YearsOptions {
    sim::DateTime from{1950, 1, 1, 0, 0, 0, 0};
    sim::DateTime to{2205, 12, 31, 12, 0, 0, 0};
    sim::Hw hw = sim::Hw::Chip;
    int64_t launch_delay_ms = 250;
    bool disabled[sim::kFixerCount] = {};  // by index in sim::kFixers
    bool quiet = false;
    bool arm = false;  // run the device images under the ARM runner
};

// The arguments after `run` and after `years`.
sim::Result<RunOptions> ParseRunOptions(const std::vector<std::string>& args);
sim::Result<YearsOptions> ParseYearsOptions(const std::vector<std::string>& args);

constexpr int kFirstYear = 1950;
constexpr int kLastYear = 2205;

}  // namespace devsim
