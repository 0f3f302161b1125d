#include "state_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "calendar.h"

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
    if (d.kmode > 1 || d.io_trace > 1 || d.ignore_writes > 1 || d.unattended_on > 1 ||
        d.stopped_at_limit > 1) {
        return "corrupt flags";
    }
    if (d.write_log_count > kMaxWriteLog || d.next_tick_ms > d.clock_ms + kMsPerSecond ||
        d.clock_ms < d.start_ms) {
        return "corrupt clock or counters";
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
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = std::string("cannot create it: ") + std::strerror(errno);
        return nullptr;
    }
    const auto* bytes = reinterpret_cast<const char*>(&initial);
    size_t done = 0;
    while (done < sizeof initial) {
        const ssize_t n = write(fd, bytes + done, sizeof initial - done);
        if (n <= 0) {
            why = std::string("cannot write it: ") + std::strerror(errno);
            close(fd);
            return nullptr;
        }
        done += static_cast<size_t>(n);
    }
    DeviceState* d = Map(fd, why);
    close(fd);
    return d;
}

DeviceState* OpenStateFile(const std::string& path, std::string& why) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot open it: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(sizeof(DeviceState))) {
        why = "wrong size (truncated or not a device state)";
        close(fd);
        return nullptr;
    }
    DeviceState* d = Map(fd, why);
    close(fd);
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
    }
}

}  // namespace sim
