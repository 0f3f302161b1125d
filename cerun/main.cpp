// cerun: runs a fixer's Windows CE executable as ARM code on the simulated
// device, in place of the host build of the same program.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "host_platform.h"
#include "machine.h"
#include "pe_loader.h"

namespace {

const char kUsage[] = R"(usage: cerun IMAGE.exe

Loads IMAGE.exe, a Windows CE 4.20 ARM executable, the way the CE loader
does and runs it on an emulated SA-1110 (ARMv4) CPU. Its seven COREDLL
imports and the RTC register page are served by the simulated device that
the host programs use: the one in the state file named by NUV_DEVICE_STATE,
or a private one at the host's local time.

  CERUN_BASE=HEX   load the image at this address instead of its own base

exit status: the program's own; 123 when it could not be loaded or crashed
(the reason goes to the device for devsim, or to stderr on a private
device); 124 and 125 as for the host programs (limit reached, no device).
)";

uint32_t BaseFromEnvironment() {
    const char* text = std::getenv("CERUN_BASE");
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const unsigned long base = std::strtoul(text, &end, 16);
    if (*end != '\0' || base == 0 || base >= cerun::kImageLimit) {
        std::cerr << "cerun: CERUN_BASE=" << text << " is not an address below "
                  << cerun::Hex(cerun::kImageLimit) << "\n";
        std::exit(2);
    }
    return static_cast<uint32_t>(base);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 2) {
        std::cerr << "cerun: expected one image (see cerun --help)\n";
        return 2;
    }
    const uint32_t base = BaseFromEnvironment();
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cerun: cannot read " << argv[1] << ": " << std::strerror(errno) << "\n";
        return 2;
    }
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    cerun::LoadedImage image;
    try {
        image = cerun::LoadImage(file, base, cerun::ResolveService);
        if (image.base + image.memory.size() > cerun::kImageLimit) {
            throw cerun::LoadError("image reaches past " + cerun::Hex(cerun::kImageLimit));
        }
    } catch (const cerun::LoadError& e) {
        sim::EndWithFault(std::string("could not be loaded (") + e.what() + ")");
    }
    return cerun::RunImage(image);
}
