#include "resident.h"

#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>

#include "fd_io.h"
#include "host_platform.h"
#include "state_file.h"

namespace cerun {

namespace {

// One thread for the server's life stops a launch that runs past the
// timeout (Unicorn's own timeout starts a thread per launch).
class Watchdog {
public:
    void Watch(uc_engine* uc) {
        std::call_once(started_, [this] { std::thread([this] { Loop(); }).detach(); });
        const std::lock_guard<std::mutex> hold(lock_);
        uc_ = uc;
        since_ = std::chrono::steady_clock::now();
        fired_ = false;
    }
    // Not counted while the program is paused (its process stopped) for
    // what happens on the device meanwhile.
    void Pause() {
        const std::lock_guard<std::mutex> hold(lock_);
        paused_uc_ = std::exchange(uc_, nullptr);
        paused_at_ = std::chrono::steady_clock::now();
    }
    void Resume() {
        const std::lock_guard<std::mutex> hold(lock_);
        uc_ = std::exchange(paused_uc_, nullptr);
        since_ += std::chrono::steady_clock::now() - paused_at_;
    }
    // Whether the launch was stopped for running too long.
    bool Unwatch() {
        const std::lock_guard<std::mutex> hold(lock_);
        uc_ = nullptr;
        return fired_;
    }

private:
    [[noreturn]] void Loop() {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::lock_guard<std::mutex> hold(lock_);
            if (uc_ != nullptr && !fired_ &&
                std::chrono::steady_clock::now() - since_ >
                    std::chrono::microseconds(kResidentTimeoutUs)) {
                fired_ = true;
                uc_emu_stop(uc_);
            }
        }
    }
    std::once_flag started_;
    std::mutex lock_;
    uc_engine* uc_ = nullptr;
    uc_engine* paused_uc_ = nullptr;
    std::chrono::steady_clock::time_point since_;
    std::chrono::steady_clock::time_point paused_at_;
    bool fired_ = false;
};

Watchdog& TheWatchdog() {
    static Watchdog* watchdog = new Watchdog;  // never destroyed: its thread outlives main
    return *watchdog;
}

}  // namespace

void PauseLaunch() {
    TheWatchdog().Pause();
    raise(SIGSTOP);  // devsim goes on with SIGCONT once what happens meanwhile is done
    TheWatchdog().Resume();
}

ResidentImage::~ResidentImage() {
    if (entry_ != nullptr) {
        uc_context_free(entry_);
    }
    if (m_.uc != nullptr) {
        uc_close(m_.uc);
    }
}

sim::Result<std::unique_ptr<ResidentImage>> ResidentImage::Load(std::vector<uint8_t> file_bytes) {
    sim::Result<LoadedImage> image = LoadImageFromBytes(file_bytes);
    if (!image) {
        return sim::Fail(image.why());
    }
    std::unique_ptr<ResidentImage> r(new ResidentImage);
    r->file_ = std::move(file_bytes);
    r->image_ = std::move(*image);
    PrepareMachine(r->m_, true);
    MapAndEnter(r->m_, r->image_);
    if (r->m_.stopped || uc_context_alloc(r->m_.uc, &r->entry_) != UC_ERR_OK ||
        uc_context_save(r->m_.uc, r->entry_) != UC_ERR_OK) {
        return sim::Fail("the emulator could not be set up for it");
    }
    for (const Region& g : r->m_.mapped) {
        const bool stack = g.address == kStackTop - g.size && (g.access & kWrite) != 0;
        Page page{g, std::vector<uint8_t>(g.size, stack ? kStackFill : 0)};
        const bool heap = g.address == kHeapBase;  // both start empty
        if (!stack && !heap && uc_mem_read(r->m_.uc, g.address, page.bytes.data(), g.size) != UC_ERR_OK) {
            return sim::Fail("the emulator could not be set up for it");
        }
        r->pristine_.push_back(std::move(page));
    }
    return r;
}

// Writable pages copied back; read-only ones compared and, should a
// service have changed one after all, restored with their translations
// dropped; the CPU as at the entry.
void ResidentImage::Reset() {
    std::vector<uint8_t> now;
    for (const Page& p : pristine_) {
        const Region& g = p.region;
        if ((g.access & kWrite) != 0) {
            uc_mem_write(m_.uc, g.address, p.bytes.data(), g.size);
            continue;
        }
        now.resize(g.size);
        uc_mem_read(m_.uc, g.address, now.data(), g.size);
        if (now != p.bytes) {
            uc_mem_write(m_.uc, g.address, p.bytes.data(), g.size);
            uc_ctl_remove_cache(m_.uc, g.address, uint64_t{g.address} + g.size);
        }
    }
    uc_context_restore(m_.uc, entry_);
    m_.pc = image_.entry;
    m_.since_sleep = 0;
    m_.heap.clear();
    m_.stopped = m_.faulted = false;
}

std::optional<int> ResidentImage::Launch() {
    Reset();
    PassCommandLine(m_);
    TheWatchdog().Watch(m_.uc);
    const uc_err err = uc_emu_start(m_.uc, image_.entry, kExitTrap, 0, 0);
    const bool too_long = TheWatchdog().Unwatch();
    uint32_t pc = 0;
    uc_reg_read(m_.uc, UC_ARM_REG_PC, &pc);
    if (m_.stopped && !m_.faulted && !too_long) {
        return sim::kLimitExitCode;  // a Sleep past the limit, as a program process ends
    }
    if (too_long) {
        const std::string line = std::string(program_invocation_short_name) + ": ran over " +
                                 std::to_string(kResidentTimeoutUs / 1000) +
                                 " ms of wall time in the resident ARM runner; run again with "
                                 "every check\n";
        sim::WriteAll(2, line.data(), line.size());
    }
    if (err != UC_ERR_OK || m_.faulted || too_long || pc != kExitTrap) {
        return std::nullopt;
    }
    uint32_t result = 0;
    uc_reg_read(m_.uc, UC_ARM_REG_R0, &result);
    return static_cast<int>(result & 0xFF);
}

}  // namespace cerun
