// An ARMv4 (SA-1110) CPU under Unicorn with a loaded fixer image, its stack,
// the COREDLL traps and the RTC register page, run as a CE thread would be.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <string>

#include "pe_loader.h"

namespace cerun {

// Where the runner places what is not the image (all within one CE process slot).
constexpr uint32_t kStackTop = 0x01F00000;
constexpr uint32_t kTrapPage = 0x01FF0000;  // one slot per service, then the exit
constexpr uint32_t kImageLimit = 0x01E00000;

struct Machine {
    uc_engine* uc = nullptr;
    uint32_t pc = 0;  // the instruction being run, for fault reports
};

// The address the loader fills into an import slot for `dll`!`name`, or 0.
uint32_t ResolveService(const std::string& dll, const std::string& name);

// Sets up what does not depend on the image: the CPU, the trap page, the
// register page and the hooks. A server does this once and forks from it.
void PrepareMachine(Machine& m);

// Maps the image and its stack into a prepared machine, calls its entry
// point as the CE loader does and returns its result. Ends the process
// through the platform on any fault.
int RunImage(Machine& m, const LoadedImage& image);

// Reads and loads the image file; ends the process when it cannot be loaded.
LoadedImage LoadImageFile(const char* path);

// Ends the process as a crash of the program at m.pc.
[[noreturn]] void Crash(const Machine& m, const std::string& what);

}  // namespace cerun
