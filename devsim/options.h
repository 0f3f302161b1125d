// Command-line parsing for devsim: each command's options as a table, walked
// by one loop; every error is one line naming the problem.
#pragma once

#include <string>
#include <vector>

#include "device.h"
#include "fixers.h"
#include "owner_action.h"
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
    std::vector<OwnerEvent> events;  // --events: what the owner does, in time order
};

struct OwnerOptions {
    std::string state_file;           // --state: the device, made when the file does not exist
    sim::DeviceConfig device;         // --at, --hw: how a new device starts
    bool device_set = false;          // one of them was given
    bool arm = false;                 // run the device images under the ARM runner
    std::vector<OwnerAction> actions;  // in order
};

// The arguments after `run`, `years` and `owner`.
sim::Result<RunOptions> ParseRunOptions(const std::vector<std::string>& args);
sim::Result<YearsOptions> ParseYearsOptions(const std::vector<std::string>& args);
sim::Result<OwnerOptions> ParseOwnerOptions(const std::vector<std::string>& args);

constexpr int kFirstYear = 1950;
constexpr int kLastYear = 2205;

// A calendar time "YYYY-MM-DD HH:MM:SS[.mmm]" within the years the year
// register can hold.
sim::Result<sim::DateTime> ParseDeviceTime(const std::string& text);

}  // namespace devsim
