// An ARMv4 (SA-1110) CPU under Unicorn with a loaded fixer image, its stack,
// the COREDLL traps and the RTC register page, run as a CE thread would be.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "pe_loader.h"

namespace cerun {

// Where the runner places what is not the image (all within one CE process slot).
constexpr uint32_t kStackTop = 0x01F00000;
constexpr uint32_t kTrapPage = 0x01FF0000;  // one slot per service, then the exit
constexpr uint32_t kExitTrap = kTrapPage + 0x100;  // the entry point returns here
static_assert(kStackTop - kMaxStackReserve >= kImageLimit, "the stack lies above the image");
// What a new thread's stack holds: not zeros, as on the device, where it
// holds what was there before; a program must not read what it never wrote.
constexpr uint8_t kStackFill = 0xCD;
// LocalAlloc's heap, for an image that imports it: above the stack's top,
// an unmapped page apart, below the trap page.
constexpr uint32_t kHeapBase = kStackTop + 0x10000;
constexpr uint32_t kHeapSize = 0x000C0000;
static_assert(kHeapBase + kHeapSize <= kTrapPage, "the heap lies below the trap page");

// How many instructions a program may run without a Sleep that moves device
// time: far above any fixer's (a few thousand), reached in well under a
// second by one that spins.
constexpr uint64_t kSpinInstructions = 20000000;

struct Machine {
    uc_engine* uc = nullptr;
    uint32_t pc = 0;  // the instruction being run, for fault reports
    uint64_t since_sleep = 0;     // instructions since device time moved
    std::vector<Region> mapped;  // what the program may touch: trap page, image, stack
    std::set<uint32_t> services;  // the trap slots its imports name: the only ones it may call
    std::map<uint32_t, uint32_t> heap;  // LocalAlloc's blocks not yet freed: address, size
    // A resident machine (cerun --serve) hooks only the trap page and its
    // checks; a fault stops its emulation instead of ending the process, and
    // the launch is run again on a machine with every hook for the report.
    bool resident = false;
    bool in_installer = false;  // a setup library, called by the installer in front
    bool stopped = false;  // asked to stop: the rest of the block does nothing
    bool faulted = false;  // ...because of a fault (not the limit)
};

// Whether the program itself could access all of [address, address + size)
// with `access` (Access bits); the register page never counts.
bool ProgramMay(const Machine& m, uint32_t address, uint32_t size, uint32_t access);

// The address the loader fills into an import slot for `dll`!`name`, or 0.
uint32_t ResolveService(const std::string& dll, const std::string& name);

// Sets up what does not depend on the image: the CPU, the trap page, the
// register page and the hooks (every one, or a resident machine's).
void PrepareMachine(Machine& m, bool resident = false);

// Maps the image and its stack, and sets the CPU at the entry point as the
// CE loader calls it.
void MapAndEnter(Machine& m, const LoadedImage& image);

// Asks a resident machine's emulation to stop (the limit, or a fault).
void Stop(Machine& m, bool fault);

// Maps the image and its stack into a prepared machine, calls its entry
// point as the CE loader does and returns its result. Ends the process
// through the platform on any fault.
int RunImage(Machine& m, const LoadedImage& image);
// Writes the command line the device starts the program with where the
// entry point's third argument points.
void PassCommandLine(Machine& m);

// Maps a DLL and its stack into a prepared machine, for CallFunction.
void MapForCalls(Machine& m, const LoadedImage& image);
// Calls the function at `address` with `args` by the ARM procedure call
// standard (r0-r3, then the stack) and returns r0. Ends the process through
// the platform on any fault.
uint32_t CallFunction(Machine& m, uint32_t address, const std::vector<uint32_t>& args);

// Where a DLL is placed when CERUN_BASE does not say: not at its own base,
// as the CE loader in general does not, so that its relocations are used.
constexpr uint32_t kDllBase = 0x00400000;

// Reads and loads the image file; ends the process when it cannot be loaded.
LoadedImage LoadImageFile(const char* path);
// Loads an image file already read, at its base or at CERUN_BASE.
sim::Result<LoadedImage> LoadImageFromBytes(const std::vector<uint8_t>& file);

// A crash of the program at m.pc: ends the process, or stops a resident
// machine (which returns, and its caller must then do nothing more).
void Crash(Machine& m, const std::string& what);
// The same for a service the program called wrongly: at the call's address.
void CrashInCaller(Machine& m, const std::string& what);

}  // namespace cerun
