// One image kept ready in the resident runner (cerun --serve), launch after
// launch: loaded and mapped once (again when its file changes), and before
// every launch put back as it was first mapped, so that no launch can leave
// anything to the next.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "machine.h"

namespace cerun {

// A last resort, should the instruction count not stop a launch: how long
// it may emulate before it is run again with every check, which then gives
// the verdict; far above a fixer's few ms. Said on stderr when it fires.
constexpr uint64_t kResidentTimeoutUs = 2000000;

// The launch under way paused, its process stopped, until devsim continues
// it; the resident timeout does not count the pause.
void PauseLaunch();

class ResidentImage {
public:
    ~ResidentImage();
    // The image in `file_bytes` ready to run, or why it cannot be loaded.
    static sim::Result<std::unique_ptr<ResidentImage>> Load(std::vector<uint8_t> file_bytes);

    const std::vector<uint8_t>& file() const { return file_; }
    const LoadedImage& image() const { return image_; }

    // Runs one launch on a machine put back as first mapped: the program's
    // exit status, or empty when it must be run again with every check
    // (a fault, or no end within kResidentTimeoutUs).
    std::optional<int> Launch();
    // Stops the launch under way: a Sleep passed the limit.
    void StopAtLimit() { Stop(m_, false); }

private:
    struct Page {
        Region region;
        std::vector<uint8_t> bytes;  // as first mapped; the stack all zero
    };
    void Reset();

    std::vector<uint8_t> file_;
    LoadedImage image_;
    Machine m_;
    std::vector<Page> pristine_;
    uc_context* entry_ = nullptr;  // the CPU at the entry point
};

}  // namespace cerun
