// Command-line parsing for devsim; every error is one line naming the problem.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device.h"
#include "fixers.h"

namespace devsim {

struct RunOptions {
    std::string program;
    sim::DeviceConfig device;
    bool device_set = false;  // an option that sets up the device was given
    std::string state_file;   // --state: the device lives on in this file
    bool arm = false;         // run the device image under the ARM runner
};

// Reads an option list of the form `--name value` or `--name=value`.
class ArgReader {
public:
    explicit ArgReader(std::vector<std::string> args) : args_(std::move(args)) {}
    bool Done() const { return pos_ >= args_.size(); }
    // The next argument; for `--name=value`, `--name` and remembers the value.
    std::string Next();
    // The value of the option just read; sets `error` when there is none.
    std::string Value(const std::string& option, std::string& error);
    // For a flag just read: sets `error` when it was given `--flag=value`.
    void NoValue(const std::string& flag, std::string& error) const;

private:
    std::vector<std::string> args_;
    size_t pos_ = 0;
    std::optional<std::string> inline_value_;
};

bool ParseHexByte(const std::string& text, uint8_t& out);
bool ParseCount(const std::string& text, int64_t max, int64_t& out);
// "3a,12,04,31,23,59,30": year, month, day, date, hour, min, sec.
bool ParseRegs(const std::string& text, RtcRegisters& out, std::string& why);
// "year=40,date=30".
bool ParseMidnight(const std::string& text, sim::MidnightFault& out, std::string& why);
// A calendar time within the years the year register can hold.
bool ParseDeviceTime(const std::string& text, sim::DateTime& out, std::string& why);
bool ParseHw(const std::string& text, sim::Hw& out);

// Parses the arguments after `run`; on failure `error` says why.
std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args,
                                          std::string& error);

constexpr int kFirstYear = 1950;
constexpr int kLastYear = 2205;

}  // namespace devsim

namespace devsim {

struct YearsOptions {
    sim::DateTime from{1950, 1, 1, 0, 0, 0, 0};
    sim::DateTime to{2205, 12, 31, 12, 0, 0, 0};
    sim::Hw hw = sim::Hw::Chip;
    int64_t launch_delay_ms = 250;
    bool disabled[sim::kFixerCount] = {};  // by index in sim::kFixers
    bool quiet = false;
    bool arm = false;  // run the device images under the ARM runner
};

// Parses the arguments after `years`; on failure `error` says why.
std::optional<YearsOptions> ParseYearsOptions(const std::vector<std::string>& args,
                                              std::string& error);

}  // namespace devsim
