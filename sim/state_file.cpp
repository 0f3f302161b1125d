#include "state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "calendar.h"
#include "fd_io.h"

namespace sim {

namespace {

DeviceState* Map(int fd, std::string& why) {
    void* p = mmap(nullptr, sizeof(DeviceState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        why = std::string("cannot map it: ") + std::strerror(errno);
        return nullptr;
    }
    return static_cast<DeviceState*>(p);
}

bool Terminated(const char* s, size_t n) { return std::memchr(s, '\0', n) != nullptr; }

// The descriptor that holds each mapped state's lock, open until it is closed.
std::map<const DeviceState*, int>& LockHolders() {
    static std::map<const DeviceState*, int> holders;
    return holders;
}

// Takes the file's lock on `fd`; on the descriptor that holds it already,
// an inherited one, this succeeds at once.
bool Lock(int fd, std::string& why) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            why = errno == EWOULDBLOCK ? std::string(kInUse)
                                       : std::string("cannot lock it: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// Maps the state on `fd` and keeps `fd` as the holder of its lock (or closes it).
DeviceState* MapLocked(int fd, std::string& why) {
    DeviceState* d = Map(fd, why);
    if (d == nullptr) {
        close(fd);
        return nullptr;
    }
    LockHolders()[d] = fd;
    return d;
}

// Fills the new file on `fd` at `path` with `initial` and maps it; the
// whole file is allocated first, so a full disk fails here and not later.
// On failure the file is removed.
DeviceState* FillNewFile(int fd, const std::string& path, const DeviceState& initial,
                         std::string& why) {
    if (!Lock(fd, why)) {
        close(fd);  // someone took the new file's lock first: it is theirs now
        return nullptr;
    }
    const int err = posix_fallocate(fd, 0, sizeof initial);
    DeviceState* d = nullptr;
    if (err != 0) {
        why = std::strerror(err);
    } else if (!WriteAll(fd, &initial, sizeof initial)) {
        why = std::strerror(errno);
    } else {
        d = Map(fd, why);
    }
    if (d == nullptr) {
        unlink(path.c_str());
        close(fd);
        return nullptr;
    }
    LockHolders()[d] = fd;
    return d;
}

}  // namespace

namespace {

bool Within(int64_t v, int64_t low, int64_t high) { return v >= low && v <= high; }

// Every time within what devsim itself can produce, compared without any
// arithmetic that could overflow on a value outside it.
bool SaneTimes(const DeviceState& d) {
    static const int64_t earliest = ToMs(DateTime{1950, 1, 1, 0, 0, 0, 0});
    static const int64_t latest = ToMs(DateTime{2207, 1, 1, 0, 0, 0, 0});
    if (!Within(d.clock_ms, earliest, latest) || !Within(d.start_ms, earliest, d.clock_ms)) {
        return false;
    }
    const int64_t run_ms = kMaxRunSeconds * kMsPerSecond;
    // The prescaler's next tick: at most a second ahead, and behind only by
    // what a run slept without reading the registers.
    return Within(d.next_tick_ms, d.start_ms - run_ms, d.clock_ms + kMsPerSecond) &&
           Within(d.limit_ms, earliest, d.clock_ms + run_ms) &&
           Within(d.shell_ready_ms, earliest - run_ms, d.clock_ms + run_ms);
}

bool SaneFlags(const DeviceState& d) {
    return (d.hw == Hw::Chip || d.hw == Hw::Correct) && d.kmode <= 1 && d.io_trace <= 1 &&
           d.ignore_writes <= 1 && d.unattended_on <= 1 && d.stopped_at_limit <= 1 &&
           d.fault.mask <= 0x7F && d.op_mask <= 0x7F && d.write_log_count <= kMaxWriteLog;
}

}  // namespace

std::string CheckState(const DeviceState& d) {
    if (d.magic != kStateMagic) {
        return "not a device state (bad magic)";
    }
    if (d.version != kStateVersion || d.size != sizeof d) {
        return "device state of another version";
    }
    if (d.hw != Hw::Chip && d.hw != Hw::Correct) {
        return "unknown hardware model";
    }
    if (!SaneFlags(d)) {
        return "corrupt flags or counters";
    }
    if (!SaneTimes(d)) {
        return "corrupt clock";
    }
    for (const Launch& l : d.launches) {
        if (l.used > 1 || !Terminated(l.path, sizeof l.path)) {
            return "corrupt launch table";
        }
    }
    for (const Launch& l : d.refused) {
        if (!Terminated(l.path, sizeof l.path)) {
            return "corrupt launch table";
        }
    }
    if (!Terminated(d.program_fault, sizeof d.program_fault)) {
        return "corrupt fault record";
    }
    for (const Violation& v : d.violations) {
        if (!Terminated(v.text, sizeof v.text)) {
            return "corrupt violation record";
        }
    }
    return {};
}

DeviceState* CreateStateFile(const std::string& path, const DeviceState& initial,
                             std::string& why) {
    // O_EXCL: never over a file that is there, nor through a symbolic link.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = std::strerror(errno);
        return nullptr;
    }
    return FillNewFile(fd, path, initial, why);
}

DeviceState* CreateTempStateFile(const std::string& dir, const DeviceState& initial,
                                 std::string& path, std::string& why) {
    path = dir + "/devsim-XXXXXX";
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return nullptr;
    }
    return FillNewFile(fd, path, initial, why);
}


DeviceState* OpenStateFile(const std::string& path, std::string& why, int inherited_fd) {
    struct stat named {};
    struct stat held {};
    const bool inherited = inherited_fd >= 0 && stat(path.c_str(), &named) == 0 &&
                           fstat(inherited_fd, &held) == 0 && named.st_dev == held.st_dev &&
                           named.st_ino == held.st_ino;
    const int fd = inherited ? fcntl(inherited_fd, F_DUPFD_CLOEXEC, 0)
                             : open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot open it: ") + std::strerror(errno);
        return nullptr;
    }
    if (!Lock(fd, why)) {
        close(fd);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(sizeof(DeviceState))) {
        why = "wrong size (truncated or not a device state)";
        close(fd);
        return nullptr;
    }
    DeviceState* d = MapLocked(fd, why);
    if (d == nullptr) {
        return nullptr;
    }
    why = CheckState(*d);
    if (!why.empty()) {
        CloseStateFile(d);
        return nullptr;
    }
    return d;
}

void CloseStateFile(DeviceState* state) {
    if (state != nullptr) {
        munmap(state, sizeof *state);
        const auto holder = LockHolders().find(state);
        if (holder != LockHolders().end()) {
            close(holder->second);
            LockHolders().erase(holder);
        }
    }
}

int LockDescriptor(const DeviceState* state) {
    const auto holder = LockHolders().find(state);
    return holder != LockHolders().end() ? holder->second : -1;
}

}  // namespace sim
