// cerun: runs a fixer's Windows CE executable as ARM code on the simulated
// device, in place of the host build of the same program.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "dll_call.h"
#include "host_platform.h"
#include "machine.h"
#include "serve.h"
#include "services.h"
#include "state_file.h"

namespace {

const char kUsage[] = R"usage(usage: cerun IMAGE.exe
       cerun LIBRARY.dll FUNCTION
       cerun --serve FD
       cerun --help | --version

Loads IMAGE.exe, a Windows CE 4.20 ARM executable, the way the CE loader
does and runs it on an emulated SA-1110 (ARMv4) CPU. Its COREDLL imports
and the RTC register page are served by the simulated device that the host
programs use: the one in the state file named by NUV_DEVICE_STATE, or a
private one at the host's local time.

{services}

A DLL (the cabinet's setup.dll) is placed at 0x00400000, not its own base,
and one of its functions is called as the handheld's installer calls it,
between DllMain's load and unload calls: FUNCTION is Install_Init,
Install_Exit, Uninstall_Init or Uninstall_Exit, given no window, the install
directory \Windows and no failures; its result is the exit status.

  CERUN_BASE=HEX   load the image at this address instead of its own base
  --serve FD       stay resident and run one launch per request on socket
                   FD, each on an emulator kept per image and put back as
                   first mapped; a launch that faults is run again by
                   cerun IMAGE with every check (devsim years --arm)

Only a regular file of at most 16 MiB is read. A program that runs
20000000 instructions without a Sleep that moves device time is stopped
as spinning.

exit status: the program's own; 123 when it could not be loaded, crashed
or spun (one line saying so goes to the device for devsim, or to stderr
on a private device: "nuv.exe crashed (...)"); 124 and 125 as for the host
programs (limit reached, no device); 1 when its trace could not be
written; 2 for bad arguments.
)usage";

// `text` broken at its blanks into lines of at most `width` columns.
std::string Wrapped(const std::string& text, size_t width) {
    std::string out;
    std::string line;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line;
}

// The usage, with the services named from the one table that serves them.
std::string Usage() {
    std::string names = "The COREDLL services it serves, by name:";
    for (size_t i = 0; i < cerun::kServiceCount; ++i) {
        names += std::string(i == 0 ? " " : i + 1 == cerun::kServiceCount ? " and " : ", ") +
                 cerun::kServices[i].name;
    }
    std::string usage = kUsage;
    const std::string mark = "{services}";
    return usage.replace(usage.find(mark), mark.size(), Wrapped(names + ".", 76));
}

// Reports on a private device name the image, not the runner.
void NameAfterImage(const char* argv0, const std::string& image) {
    const char* self = std::strrchr(argv0, '/');
    if (std::strcmp(self != nullptr ? self + 1 : argv0, "cerun") != 0) {
        return;  // started under a program's name (devsim), which reports keep
    }
    static std::string name;
    name = image.substr(image.rfind('/') + 1);
    program_invocation_short_name = name.data();
}

// Whether the image can be run as asked: a program alone, or a DLL's
// function; if not, says why. On devsim's device the refusal travels to
// devsim as the runner's fault, never as the function's result.
bool Callable(const cerun::LoadedImage& image, const std::vector<std::string>& args) {
    if (args.size() != 2 && !image.dll) {
        return true;
    }
    const std::string name = args[0].substr(args[0].rfind('/') + 1);
    const sim::Status callable = args.size() == 2
                                     ? cerun::CheckCall(image, name, args[1])
                                     : sim::Fail(name + " is a DLL: name the function to call");
    if (!callable && std::getenv(sim::kStateEnv) != nullptr) {
        sim::EndWithFault("could not be called (" + callable.why() + ")");
    }
    if (!callable) {
        std::cerr << "cerun: " << callable.why() << " (see cerun --help)\n";
    }
    return static_cast<bool>(callable);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << Usage();
        return std::cout.flush() ? 0 : 1;
    }
    if (args.size() == 1 && (args[0] == "--version" || args[0] == "-V")) {
        std::cout << "cerun " << CERUN_VERSION << "\n";
        return std::cout.flush() ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "--serve") {
        char* end = nullptr;
        const long fd = std::strtol(args[1].c_str(), &end, 10);
        if (*end == '\0' && fd >= 0 && fd < 1024) {
            return cerun::Serve(static_cast<int>(fd));
        }
    }
    if (args.empty() || args.size() > 2 || args[0].empty() || args[0][0] == '-') {
        std::cerr << "cerun: expected one image (see cerun --help)\n";
        return 2;
    }
    NameAfterImage(argv[0], args[0]);
    sim::UseRunnerCpuSafety();
    const cerun::LoadedImage image = cerun::LoadImageFile(args[0].c_str());
    if (!Callable(image, args)) {
        return 2;
    }
    cerun::Machine m;
    cerun::PrepareMachine(m);
    const int status = args.size() == 2 ? cerun::RunDllExport(m, image, args[1])
                                        : cerun::RunImage(m, image);
    uc_close(m.uc);
    return status;
}
