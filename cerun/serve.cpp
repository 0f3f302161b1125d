#include "serve.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fd_io.h"
#include "machine.h"
#include "state_file.h"

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

// In the forked process: become the program process `cerun IMAGE` would be.
[[noreturn]] void RunRequest(Machine& m, int fd, const Request& r) {
    close(fd);
    static std::string name;
    name = r.program;
    program_invocation_short_name = name.data();
    setenv(sim::kStateEnv, r.state_file.c_str(), 1);
    if (r.quiet) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    const LoadedImage image = LoadImageFile(r.image.c_str());
    _exit(RunImage(m, image));  // the emulator goes with the process
}

}  // namespace

int Serve(int fd) {
    // The server and each program it forks end with their parent, however it ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) {
        return 0;
    }
    Machine m;
    PrepareMachine(m);
    Request r;
    while (ReadRequest(fd, r)) {
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) {
                _exit(128 + SIGKILL);
            }
            RunRequest(m, fd, r);
        }
        int status = 0;
        if (pid < 0) {
            status = W_EXITCODE(127, 0);
        } else {
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        const auto reply = static_cast<int32_t>(status);
        if (!sim::WriteAll(fd, &reply, sizeof reply)) {
            break;
        }
    }
    uc_close(m.uc);
    return 0;
}

}  // namespace cerun
