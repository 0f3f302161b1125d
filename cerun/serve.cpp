#include "serve.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fd_io.h"
#include "host_platform.h"
#include "resident.h"
#include "state_file.h"

extern char** environ;

namespace cerun {

namespace {

struct Request {
    std::string program;
    std::string image;
    std::string state_file;
    bool quiet = false;
};

bool ReadRequest(int fd, Request& r) {
    uint32_t size = 0;
    if (!sim::ReadAll(fd, &size, sizeof size) || size > 65536) {
        return false;
    }
    std::string text(size, '\0');
    if (!sim::ReadAll(fd, text.data(), size)) {
        return false;
    }
    std::vector<std::string> fields;
    for (size_t at = 0; at < text.size() && fields.size() < 4;) {
        const size_t end = text.find('\0', at);
        fields.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    if (fields.size() != 4) {
        return false;
    }
    r = {fields[0], fields[1], fields[2], fields[3] == "1"};
    return true;
}

// The launch again, from the device as it was before it, as the program
// process `cerun IMAGE` runs it, with every check: this very runner started
// anew under the program's name (no fork: the server has a watchdog thread).
// The device file and the lock's descriptor are in the environment already.
int ReplayInChild(int fd, const Request& r, const sim::DeviceState& before, sim::DeviceState& d) {
    d = before;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fd);
    if (r.quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    std::string program = r.program;
    std::string image = r.image;
    char* argv[] = {program.data(), image.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = W_EXITCODE(127, 0);
    while (rc == 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

class Server {
public:
    // The wait status of one launch.
    int Launch(int fd, const Request& r);

private:
    // The image at `path` held ready, loaded again when its file changed.
    sim::Result<ResidentImage*> Held(const std::string& path);
    void Deliver(const std::string& trace, sim::DeviceState& d);

    std::map<std::string, std::unique_ptr<ResidentImage>> images_;
    ResidentImage* running_ = nullptr;
};

sim::Result<ResidentImage*> Server::Held(const std::string& path) {
    sim::Result<std::vector<uint8_t>> file = sim::ReadRegularFile(path, kMaxImageFile);
    if (!file) {
        return sim::Fail(file.why());
    }
    std::unique_ptr<ResidentImage>& held = images_[path];
    if (!held || held->file() != *file) {
        held.reset();
        sim::Result<std::unique_ptr<ResidentImage>> loaded = ResidentImage::Load(std::move(*file));
        if (!loaded) {
            return sim::Fail(loaded.why());
        }
        held = std::move(*loaded);
    }
    return held.get();
}

// The trace of a launch that ran clean (none when quiet), written as the
// program would have.
void Server::Deliver(const std::string& trace, sim::DeviceState& d) {
    if (!trace.empty() && !sim::WriteAll(1, trace.data(), trace.size()) &&
        d.os.trace_errno == 0) {
        d.os.trace_errno = errno;
    }
}

int Server::Launch(int fd, const Request& r) {
    static std::string name;
    name = r.program;
    program_invocation_short_name = name.data();
    std::string trace;  // kept only for a caller that reads it
    sim::DeviceState& d = sim::BindResident(
        r.state_file,
        [&trace, &r](const std::string& text) {
            if (!r.quiet) {
                trace += text;
            }
        },
        [this] { running_->StopAtLimit(); }, PauseLaunch);
    const sim::Result<ResidentImage*> held = Held(r.image);
    if (!held) {
        sim::RecordFault("could not be loaded (" + held.why() + ")");
        return W_EXITCODE(sim::kFaultExitCode, 0);
    }
    const sim::DeviceState before = d;
    running_ = *held;
    const std::optional<int> status = running_->Launch();
    if (!status) {
        return ReplayInChild(fd, r, before, d);
    }
    Deliver(trace, d);
    return W_EXITCODE(*status, 0);
}

}  // namespace

int Serve(int fd) {
    // The server ends with its parent, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) {
        return 0;
    }
    Server server;
    Request r;
    while (ReadRequest(fd, r)) {
        const auto reply = static_cast<int32_t>(server.Launch(fd, r));
        if (!sim::WriteAll(fd, &reply, sizeof reply)) {
            break;
        }
    }
    return 0;
}

}  // namespace cerun
