#include "state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "calendar.h"
#include "device.h"
#include "event_starts.h"
#include "fd_io.h"
#include "named_objects.h"
#include "notification_store.h"
#include "owner_device.h"
#include "truncation.h"

namespace sim {

namespace {

Result<DeviceState*> Map(int fd) {
    void* p = mmap(nullptr, sizeof(DeviceState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        return Fail(std::string("cannot map it: ") + std::strerror(errno));
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
Status Lock(int fd) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return Fail(errno == EWOULDBLOCK
                            ? std::string(kInUse)
                            : std::string("cannot lock it: ") + std::strerror(errno));
        }
    }
    return Ok();
}

// Maps the state on `fd` and keeps `fd` as the holder of its lock (or closes it).
Result<DeviceState*> MapLocked(int fd) {
    const Result<DeviceState*> d = Map(fd);
    if (!d) {
        close(fd);
        return d;
    }
    LockHolders()[*d] = fd;
    return d;
}

// Fills the new file on `fd` at `path` with `initial` and maps it; the
// whole file is allocated first, so a full disk fails here and not later.
// On failure the file is removed.
Result<DeviceState*> FillNewFile(int fd, const std::string& path, const DeviceState& initial) {
    if (const Status locked = Lock(fd); !locked) {
        close(fd);  // someone took the new file's lock first: it is theirs now
        return Fail(locked.why());
    }
    const int err = posix_fallocate(fd, 0, sizeof initial);
    Result<DeviceState*> d = Fail(std::strerror(err));
    if (err == 0) {
        d = WriteAll(fd, &initial, sizeof initial) ? Map(fd) : Fail(std::strerror(errno));
    }
    if (!d) {
        unlink(path.c_str());
        close(fd);
        return d;
    }
    LockHolders()[*d] = fd;
    WatchMapping(*d, sizeof initial, path);
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
    if (!Within(d.os.clock_ms, earliest, latest) ||
        !Within(d.os.start_ms, earliest, d.os.clock_ms) ||
        !Within(d.os.set_offset_ms, earliest - latest, latest - earliest)) {
        return false;
    }
    const int64_t run_ms = kMaxRunSeconds * kMsPerSecond;
    // The prescaler's next tick: at most a second ahead, and behind only by
    // what a run slept without reading the registers.
    return Within(d.chip.next_tick_ms, d.os.start_ms - run_ms, d.os.clock_ms + kMsPerSecond) &&
           Within(d.os.limit_ms, earliest, d.os.clock_ms + run_ms) &&
           Within(d.os.shell_ready_ms, earliest - run_ms, d.os.clock_ms + run_ms);
}

bool SaneGlitches(const DeviceState& d) {
    bool sane = d.chip.glitch_count <= kMaxGlitches && d.chip.next_glitch <= d.chip.glitch_count;
    for (uint32_t i = 0; sane && i < d.chip.glitch_count; ++i) {
        sane = d.chip.glitches[i].field <= kGlitchDroppedWrites;
    }
    return sane;
}

bool SaneFlags(const DeviceState& d) {
    return (d.chip.hw == Hw::Chip || d.chip.hw == Hw::Correct) && d.os.kmode <= 1 &&
           d.os.io_trace <= 1 && d.chip.ignore_writes <= 1 && d.os.unattended_on <= 1 &&
           d.os.stopped_at_limit <= 1 && d.chip.fault.mask <= 0x7F && d.log.op_mask <= 0x7F &&
           d.os.program_attached <= 1 && d.os.no_true_time <= 1 && d.os.trace_errno >= 0 &&
           d.os.paused <= 1 && d.os.end_at_pause <= 1 && d.os.pause_ms >= 0 &&
           d.log.write_log_count <= kMaxWriteLog && SaneGlitches(d);
}

}  // namespace

namespace {

bool SaneTexts(const DeviceState& d) {
    bool sane = Terminated(d.os.program_fault, sizeof d.os.program_fault) &&
                d.log.box_shown <= 1 && d.log.box_hidden <= 1 && Terminated(d.log.box_caption, sizeof d.log.box_caption) &&
                Terminated(d.log.box_text, sizeof d.log.box_text);
    for (const Violation& v : d.log.violations) {
        sane = sane && Terminated(v.text, sizeof v.text);
    }
    return sane;
}

bool SaneLaunches(const DeviceState& d) {
    bool sane = true;
    for (const Launch& l : d.os.launches) {
        sane = sane && l.used <= 1 && Terminated(l.path, sizeof l.path) &&
               (l.used == 0 || IsValidLaunchTime(l.at));
    }
    for (const Launch& l : d.log.refused) {
        sane = sane && Terminated(l.path, sizeof l.path) && l.refusal <= kPathTooLong;
    }
    for (const EventRefusal& r : d.log.event_refused) {
        sane = sane && Terminated(r.path, sizeof r.path) && r.refusal <= kNoSuchEvent;
    }
    return sane;
}

// The object store and the queue of programs asked to start.
bool SaneFiles(const DeviceState& d) {
    bool sane = d.os.start_count <= kMaxStarts && d.os.installed <= 1 && d.os.setup_returned <= 1 &&
                d.log.rtcen_by_run <= 1;
    for (const File& f : d.os.files) {
        sane = sane && f.used <= 1 && Terminated(f.path, sizeof f.path) &&
               Terminated(f.target, sizeof f.target);
    }
    // One file a path, as the object store keeps it (paths compared without case).
    for (size_t i = 0; sane && i < kMaxFiles; ++i) {
        for (size_t j = i + 1; j < kMaxFiles; ++j) {
            sane = sane && !(d.os.files[i].used != 0 && d.os.files[j].used != 0 &&
                             strcasecmp(d.os.files[i].path, d.os.files[j].path) == 0);
        }
    }
    sane = sane && d.os.installed_files < (1U << PackageFiles().size());
    for (const char (&path)[kPathBytes] : d.os.starts) {
        sane = sane && Terminated(path, sizeof path);
    }
    for (const char (&line)[kCommandLineBytes] : d.os.start_lines) {
        sane = sane && Terminated(line, sizeof line);
    }
    return sane;
}

}  // namespace

Status CheckState(const DeviceState& d) {
    if (d.magic != kStateMagic) {
        return Fail("not a device state (bad magic)");
    }
    if (d.version != kStateVersion || d.size != sizeof d) {
        return Fail("device state of another version");
    }
    if (d.chip.hw != Hw::Chip && d.chip.hw != Hw::Correct) {
        return Fail("unknown hardware model");
    }
    if (!SaneFlags(d)) {
        return Fail("corrupt flags or counters");
    }
    if (!SaneTimes(d)) {
        return Fail("corrupt clock");
    }
    if (!SaneLaunches(d)) {
        return Fail("corrupt launch table");
    }
    if (!SaneFiles(d)) {
        return Fail("corrupt file table");
    }
    if (!SaneEventStarts(d)) {
        return Fail("corrupt event starts or command line");
    }
    if (!SaneStore(d)) {
        return Fail("corrupt notification store");
    }
    if (!SaneHandles(d) || !SaneMutexes(d)) {
        return Fail("corrupt handle table");
    }
    return SaneTexts(d) ? Ok() : Fail("corrupt fault or violation record");
}

Result<DeviceState*> CreateStateFile(const std::string& path, const DeviceState& initial) {
    // Made whole and locked under a name of its own beside `path`, then
    // linked into place: nobody finds it part-written or takes its lock
    // first, and link() never replaces a file nor follows a link there.
    std::string made = path + ".new-XXXXXX";
    const int fd = mkostemp(made.data(), O_CLOEXEC);
    if (fd < 0) {
        return Fail(std::strerror(errno));
    }
    const Result<DeviceState*> d = FillNewFile(fd, made, initial);
    if (!d) {
        return d;
    }
    const int linked = link(made.c_str(), path.c_str()) == 0 ? 0 : errno;
    unlink(made.c_str());
    if (linked != 0) {
        CloseStateFile(*d);
        return Fail(std::strerror(linked));
    }
    ForgetMapping(*d);
    WatchMapping(*d, sizeof initial, path);
    return d;
}

Result<DeviceState*> CreateTempStateFile(const std::string& dir, const DeviceState& initial,
                                         std::string& path) {
    path = dir + "/devsim-XXXXXX";
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        return Fail(std::strerror(errno));
    }
    return FillNewFile(fd, path, initial);
}


namespace {

// A descriptor on the file at `path`: the inherited one when it is open on
// that very file, else a new one.
int OpenDescriptor(const std::string& path, int inherited_fd) {
    struct stat named {};
    struct stat held {};
    const bool inherited = inherited_fd >= 0 && stat(path.c_str(), &named) == 0 &&
                           fstat(inherited_fd, &held) == 0 && named.st_dev == held.st_dev &&
                           named.st_ino == held.st_ino;
    return inherited ? fcntl(inherited_fd, F_DUPFD_CLOEXEC, 0)
                     : open(path.c_str(), O_RDWR | O_CLOEXEC);
}

}  // namespace

Result<DeviceState*> OpenStateFile(const std::string& path, int inherited_fd) {
    const int fd = OpenDescriptor(path, inherited_fd);
    if (fd < 0) {
        return Fail(std::string("cannot open it: ") + std::strerror(errno));
    }
    const Status locked = Lock(fd);
    struct stat st {};
    const bool sized = fstat(fd, &st) == 0 && st.st_size == static_cast<off_t>(sizeof(DeviceState));
    if (!locked || !sized) {
        close(fd);
        return Fail(!locked ? locked.why() : "wrong size (truncated or not a device state)");
    }
    const Result<DeviceState*> d = MapLocked(fd);
    if (!d) {
        return d;
    }
    if (const Status sound = CheckState(**d); !sound) {
        CloseStateFile(*d);
        return Fail(sound.why());
    }
    WatchMapping(*d, sizeof(DeviceState), path);
    return d;
}

void CloseStateFile(DeviceState* state) {
    if (state != nullptr) {
        ForgetMapping(state);
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
