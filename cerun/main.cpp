// cerun: runs a fixer's Windows CE executable as ARM code on the simulated
// device, in place of the host build of the same program.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "machine.h"
#include "serve.h"

namespace {

const char kUsage[] = R"(usage: cerun IMAGE.exe
       cerun --serve FD

Loads IMAGE.exe, a Windows CE 4.20 ARM executable, the way the CE loader
does and runs it on an emulated SA-1110 (ARMv4) CPU. Its seven COREDLL
imports and the RTC register page are served by the simulated device that
the host programs use: the one in the state file named by NUV_DEVICE_STATE,
or a private one at the host's local time.

  CERUN_BASE=HEX   load the image at this address instead of its own base
  --serve FD       stay resident and run one image per request on socket FD,
                   each in a process forked from an emulator set up once
                   (devsim years --arm)

exit status: the program's own; 123 when it could not be loaded or crashed
(the reason goes to the device for devsim, or to stderr on a private
device); 124 and 125 as for the host programs (limit reached, no device).
)";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--serve") == 0) {
        char* end = nullptr;
        const long fd = std::strtol(argv[2], &end, 10);
        if (*end == '\0' && fd >= 0) {
            return cerun::Serve(static_cast<int>(fd));
        }
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::cerr << "cerun: expected one image (see cerun --help)\n";
        return 2;
    }
    const cerun::LoadedImage image = cerun::LoadImageFile(argv[1]);
    cerun::Machine m;
    cerun::PrepareMachine(m);
    const int status = cerun::RunImage(m, image);
    uc_close(m.uc);
    return status;
}
