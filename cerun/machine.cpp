#include "machine.h"

#include <algorithm>
#include <cstring>

#include "debug_format.h"
#include "event_starts.h"
#include "host_platform.h"
#include "platform.h"
#include "rtc_regs.h"
#include "services.h"

namespace cerun {

namespace {

constexpr uint32_t kPage = 0x1000;
// The program's command line, UTF-16, in a writable page of its own.
constexpr uint32_t kCommandLinePage = kTrapPage + 0x1000;
constexpr uint32_t kReturn = 0xE1A0F00E;              // mov pc, lr: a trap slot's body
constexpr uint32_t kUserMode = 0x10;                  // CPSR: user mode, ARM state
constexpr uint32_t kShowWindow = 5;                   // SW_SHOW, the entry's fourth argument

// Where the spacer is mapped while the image is: far from all the program
// may reach, and unmapped again before it runs.
constexpr uint32_t kSpacer = 0x10000000;
// Pages per leaf of Unicorn's page descriptors (its L2 table).
constexpr uint32_t kDescriptorLeafPages = 1024;

constexpr uint32_t kUdefException = 1;  // Unicorn's numbers of the ARM exceptions
constexpr uint32_t kSwiException = 2;

uint32_t Protection(uint32_t access) {
    return ((access & kRead) != 0 ? static_cast<uint32_t>(UC_PROT_READ) : 0U) |
           ((access & kWrite) != 0 ? static_cast<uint32_t>(UC_PROT_WRITE) : 0U) |
           ((access & kExecute) != 0 ? static_cast<uint32_t>(UC_PROT_EXEC) : 0U);
}

const char* AccessVerb(uc_mem_type type) {
    switch (type) {
        case UC_MEM_WRITE:
        case UC_MEM_WRITE_UNMAPPED:
        case UC_MEM_WRITE_PROT: return "store";
        default: return "load";
    }
}

volatile uint8_t* RegisterAt(uint64_t offset) {
    return reinterpret_cast<volatile uint8_t*>(static_cast<uintptr_t>(RTC_PHYS_BASE + offset));
}

// The trap page holds code only at its service slots and the exit; the
// program reaches it only through an import or by returning.
void OnTrapPage(Machine& m, uint64_t address) {
    const uint64_t slot = (address - kTrapPage) / 4;
    const bool at_slot = address % 4 == 0 && slot < kServiceCount;
    if (at_slot && m.services.count(static_cast<uint32_t>(address)) != 0) {
        kServices[slot].serve(m);
    } else if (at_slot) {
        Crash(m, "call to " + Hex(static_cast<uint32_t>(address)) + ", " + kServices[slot].name +
                     ", which the image does not import,");
    } else if (address != kExitTrap) {
        Crash(m, "jump to " + Hex(static_cast<uint32_t>(address)) + ", outside the image's code,");
    }
}

void OnCode(uc_engine* /*uc*/, uint64_t address, uint32_t /*size*/, void* data) {
    auto& m = *static_cast<Machine*>(data);
    if (m.stopped) {
        return;
    }
    if (!m.resident && ++m.since_sleep > kSpinInstructions) {
        sim::EndWithFault("spins: no Sleep for " + std::to_string(kSpinInstructions) +
                          " instructions at ARM address " + Hex(static_cast<uint32_t>(address)));
    }
    if (address >= kTrapPage && address < kTrapPage + kPage) {
        OnTrapPage(m, address);  // m.pc still the instruction that came here
    }
    m.pc = static_cast<uint32_t>(address);
}

// A resident machine counts instructions a block at a time, as it enters
// the block: never fewer than have run, so it stops whenever a machine
// counting each instruction would, and the run again says where.
void OnBlock(uc_engine* /*uc*/, uint64_t /*address*/, uint32_t size, void* data) {
    auto& m = *static_cast<Machine*>(data);
    m.since_sleep += size / 4;
    if (m.since_sleep > kSpinInstructions && !m.stopped) {
        Stop(m, true);
    }
}

// Unicorn lets a misaligned access rotate as ARMv4 does; CE faults it.
// Aligned accesses, all but a faulty program's, return at the first test.
void OnAccess(uc_engine* /*uc*/, uc_mem_type type, uint64_t address, int size, int64_t /*value*/,
              void* data) {
    if ((address & static_cast<uint64_t>(size - 1)) == 0 || size <= 1) {
        return;
    }
    Crash(*static_cast<Machine*>(data), "misaligned " + std::to_string(size) + "-byte " +
                                            AccessVerb(type) + " at " +
                                            Hex(static_cast<uint32_t>(address)));
}

bool OnInvalid(uc_engine* /*uc*/, uc_mem_type type, uint64_t address, int size, int64_t /*value*/,
               void* data) {
    auto& m = *static_cast<Machine*>(data);
    const std::string at = Hex(static_cast<uint32_t>(address));
    if (type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT) {
        Crash(m, "jump to " + at + ", outside the image's code,");
    } else {
        Crash(m, std::to_string(size) + "-byte " + AccessVerb(type) + " at " + at + ", " +
                     (type == UC_MEM_READ_UNMAPPED || type == UC_MEM_WRITE_UNMAPPED
                          ? "unmapped,"
                          : "not allowed,"));
    }
    return false;
}

void OnException(uc_engine* /*uc*/, uint32_t number, void* data) {
    auto& m = *static_cast<Machine*>(data);
    Crash(m, number == kUdefException   ? std::string("undefined instruction")
             : number == kSwiException ? std::string("software interrupt")
                                       : "CPU exception " + std::to_string(number));
}

uint64_t OnRegisterRead(uc_engine* /*uc*/, uint64_t offset, unsigned size, void* data) {
    auto& m = *static_cast<Machine*>(data);
    if (size != 1) {
        Crash(m, std::to_string(size) + "-byte load from register " +
                     Hex(RTC_PHYS_BASE + static_cast<uint32_t>(offset)));
    }
    return m.stopped ? 0 : ReadRegister(RegisterAt(offset));
}

void OnRegisterWrite(uc_engine* /*uc*/, uint64_t offset, unsigned size, uint64_t value,
                     void* data) {
    auto& m = *static_cast<Machine*>(data);
    if (size != 1) {
        Crash(m, std::to_string(size) + "-byte store to register " +
                     Hex(RTC_PHYS_BASE + static_cast<uint32_t>(offset)));
    }
    if (!m.stopped) {
        WriteRegister(RegisterAt(offset), static_cast<uint8_t>(value));
    }
}

void Check(Machine& m, uc_err err, const char* what) {
    if (err != UC_ERR_OK) {
        Crash(m, std::string(what) + ": " + uc_strerror(err));
    }
}

void MapTraps(Machine& m) {
    Check(m, uc_mem_map(m.uc, kTrapPage, kPage, UC_PROT_READ | UC_PROT_EXEC), "trap page");
    for (uint32_t i = 0; i <= kServiceCount; ++i) {
        Check(m, uc_mem_write(m.uc, kTrapPage + 4 * i, &kReturn, sizeof kReturn), "trap page");
    }
    Check(m, uc_mem_map(m.uc, kCommandLinePage, kPage, UC_PROT_READ | UC_PROT_WRITE),
          "command line");
}

void MapRegion(Machine& m, const LoadedImage& image, const Region& r) {
    Check(m, uc_mem_map(m.uc, r.address, r.size, Protection(r.access)), "image");
    const size_t from = r.address - image.base;
    const size_t size = std::min<size_t>(r.size, image.memory.size() - from);
    Check(m, uc_mem_write(m.uc, r.address, image.memory.data() + from, size), "image");
}

// The read-only regions first, then (beyond a spacer of one leaf of the
// engine's page descriptors, mapped only meanwhile) the writable ones and
// the stack: a store then never shares a leaf with code, and the engine's
// check of every store for code to retranslate stays cheap. Addresses and
// protections are as the image says.
void MapImage(Machine& m, const LoadedImage& image) {
    for (const Region& r : image.regions) {
        if ((r.access & kWrite) == 0) {
            MapRegion(m, image, r);
        }
    }
    uint32_t page_size = kPage;
    uc_ctl_get_page_size(m.uc, &page_size);
    const uint32_t spacer = kDescriptorLeafPages * page_size;
    Check(m, uc_mem_map(m.uc, kSpacer, spacer, UC_PROT_NONE), "spacer");
    for (const Region& r : image.regions) {
        if ((r.access & kWrite) != 0) {
            MapRegion(m, image, r);
        }
    }
    const uint32_t stack = (image.stack_reserve + kPage - 1) / kPage * kPage;
    Check(m, uc_mem_map(m.uc, kStackTop - stack, stack, UC_PROT_READ | UC_PROT_WRITE), "stack");
    const std::vector<uint8_t> fill(stack, kStackFill);
    Check(m, uc_mem_write(m.uc, kStackTop - stack, fill.data(), fill.size()), "stack");
    const bool heap = image.imported.count(ResolveService("COREDLL.dll", "LocalAlloc")) != 0;
    if (heap) {
        Check(m, uc_mem_map(m.uc, kHeapBase, kHeapSize, UC_PROT_READ | UC_PROT_WRITE), "heap");
    }
    Check(m, uc_mem_unmap(m.uc, kSpacer, spacer), "spacer");
    m.mapped.insert(m.mapped.end(), image.regions.begin(), image.regions.end());
    m.services = image.imported;
    m.mapped.push_back({kStackTop - stack, stack, kRead | kWrite});
    if (heap) {
        m.mapped.push_back({kHeapBase, kHeapSize, kRead | kWrite});
    }
}

// Every instruction hooked, or (resident) only the trap page's.
void AddHooks(Machine& m) {
    uc_hook h = 0;
    const uint64_t from = m.resident ? kTrapPage : 1;
    const uint64_t to = m.resident ? kTrapPage + kPage - 1 : 0;
    Check(m, uc_hook_add(m.uc, &h, UC_HOOK_CODE, reinterpret_cast<void*>(OnCode), &m, from, to),
          "hook");
    if (m.resident) {
        Check(m, uc_hook_add(m.uc, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(OnBlock), &m, 1, 0),
              "hook");
    }
    Check(m,
          uc_hook_add(m.uc, &h, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                      reinterpret_cast<void*>(OnAccess), &m, 1, 0),
          "hook");
    Check(m,
          uc_hook_add(m.uc, &h, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(OnInvalid), &m, 1, 0),
          "hook");
    Check(m, uc_hook_add(m.uc, &h, UC_HOOK_INTR, reinterpret_cast<void*>(OnException), &m, 1, 0),
          "hook");
}

// The engine's target pages made `size` bytes (fewer, smaller translation
// pages for a machine kept across launches). Unicorn 2.0.1 counts one bit
// too many: asked for half the size, it makes the size. Only the speed
// depends on getting it; an engine that makes neither is asked for its own
// size again, which must not exceed `size`, the regions' alignment.
void SetPageSize(Machine& m, uint32_t size) {
    uint32_t own = 0;
    uc_ctl_get_page_size(m.uc, &own);
    uint32_t made = 0;
    for (const uint32_t ask : {size / 2, size, own}) {
        uc_ctl_set_page_size(m.uc, ask);
        uc_ctl_get_page_size(m.uc, &made);
        if (made == size) {
            return;
        }
    }
    if (made > size) {
        Check(m, UC_ERR_ARG, "page size");
    }
}

void SetReg(Machine& m, int reg, uint32_t value) {
    Check(m, uc_reg_write(m.uc, reg, &value), "register");
}

}  // namespace

void Stop(Machine& m, bool fault) {
    m.stopped = true;
    m.faulted = m.faulted || fault;
    uc_emu_stop(m.uc);
}

void Crash(Machine& m, const std::string& what) {
    if (m.resident) {
        Stop(m, true);  // the launch runs again with every hook for the report
        return;
    }
    sim::EndWithFault("crashed (" + what + " at ARM address " + Hex(m.pc) + ")");
}

void CrashInCaller(Machine& m, const std::string& what) {
    uint32_t lr = 0;
    uc_reg_read(m.uc, UC_ARM_REG_LR, &lr);
    m.pc = lr - 4;  // the call: the thunk it reached the service through keeps lr
    Crash(m, what);
}

bool ProgramMay(const Machine& m, uint32_t address, uint32_t size, uint32_t access) {
    const uint64_t end = uint64_t{address} + size;
    for (uint64_t at = address; at < end;) {
        const auto r = std::find_if(m.mapped.begin(), m.mapped.end(), [at](const Region& g) {
            return at >= g.address && at < uint64_t{g.address} + g.size;
        });
        if (r == m.mapped.end() || (r->access & access) != access) {
            return false;
        }
        at = uint64_t{r->address} + r->size;
    }
    return true;
}

uint32_t ResolveService(const std::string& dll, const std::string& name) {
    if (strcasecmp(dll.c_str(), "COREDLL.dll") != 0) {
        return 0;
    }
    for (size_t i = 0; i < kServiceCount; ++i) {
        if (name == kServices[i].name) {
            return kTrapPage + 4 * static_cast<uint32_t>(i);
        }
    }
    return 0;
}

void PrepareMachine(Machine& m, bool resident) {
    m.resident = resident;
    if (uc_open(UC_ARCH_ARM, UC_MODE_ARM, &m.uc) != UC_ERR_OK) {
        sim::EndWithFault("could not be run (no ARM emulator)");
    }
    Check(m, uc_ctl_set_cpu_model(m.uc, UC_CPU_ARM_SA1110), "CPU model");
    if (resident) {
        SetPageSize(m, kPage);
    }
    MapTraps(m);
    m.mapped.push_back({kTrapPage, kPage, kRead | kExecute});
    m.mapped.push_back({kCommandLinePage, kPage, kRead | kWrite});
    Check(m, uc_mmio_map(m.uc, RTC_PHYS_BASE, kPage, OnRegisterRead, &m, OnRegisterWrite, &m),
          "register page");
    AddHooks(m);
}

void MapAndEnter(Machine& m, const LoadedImage& image) {
    MapImage(m, image);
    SetReg(m, UC_ARM_REG_CPSR, kUserMode);
    SetReg(m, UC_ARM_REG_SP, kStackTop);
    SetReg(m, UC_ARM_REG_LR, kExitTrap);
    SetReg(m, UC_ARM_REG_R0, image.base);  // hInstance
    SetReg(m, UC_ARM_REG_R1, 0);
    SetReg(m, UC_ARM_REG_R2, kCommandLinePage);
    SetReg(m, UC_ARM_REG_R3, kShowWindow);
    SetReg(m, UC_ARM_REG_PC, image.entry);
    m.pc = image.entry;
}

namespace {

// Runs from `address` until the code returns to the exit trap; r0.
uint32_t RunFrom(Machine& m, uint32_t address) {
    const uc_err err = uc_emu_start(m.uc, address, kExitTrap, 0, 0);
    if (err == UC_ERR_INSN_INVALID) {
        Crash(m, "undefined instruction");  // ARMv4T or later, Thumb, or no instruction at all
    }
    Check(m, err, "emulation stopped");
    uint32_t result = 0;
    uc_reg_read(m.uc, UC_ARM_REG_R0, &result);
    return result;
}

}  // namespace

void PassCommandLine(Machine& m) {
    const std::u16string text = sim::ToUtf16(sim::CommandLine(sim::HostDevice()));
    std::vector<uint16_t> units(text.begin(), text.end());
    units.resize(std::min<size_t>(units.size(), kPage / 2 - 1));
    units.resize(kPage / 2, 0);
    Check(m, uc_mem_write(m.uc, kCommandLinePage, units.data(), kPage), "command line");
}

int RunImage(Machine& m, const LoadedImage& image) {
    MapAndEnter(m, image);
    PassCommandLine(m);
    return static_cast<int>(RunFrom(m, image.entry) & 0xFF);
}

void MapForCalls(Machine& m, const LoadedImage& image) {
    MapImage(m, image);
    SetReg(m, UC_ARM_REG_CPSR, kUserMode);
}

uint32_t CallFunction(Machine& m, uint32_t address, const std::vector<uint32_t>& args) {
    constexpr int kRegs[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
    const size_t on_stack = args.size() > 4 ? args.size() - 4 : 0;
    const uint32_t sp = kStackTop - static_cast<uint32_t>((4 * on_stack + 7) / 8 * 8);
    for (size_t i = 0; i < 4; ++i) {
        SetReg(m, kRegs[i], i < args.size() ? args[i] : 0);
    }
    for (size_t i = 0; i < on_stack; ++i) {
        Check(m, uc_mem_write(m.uc, sp + 4 * i, &args[4 + i], 4), "stack");
    }
    SetReg(m, UC_ARM_REG_SP, sp);
    SetReg(m, UC_ARM_REG_LR, kExitTrap);
    m.pc = address;
    return RunFrom(m, address);
}

}  // namespace cerun
