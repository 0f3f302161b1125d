// The image file as a program process loads it: read, placed at its base or
// at CERUN_BASE, its imports resolved to the runner's traps.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_platform.h"
#include "machine.h"

namespace cerun {

namespace {

uint32_t BaseFromEnvironment() {
    const char* text = std::getenv("CERUN_BASE");
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const unsigned long base = std::strtoul(text, &end, 16);
    if (*end != '\0' || base == 0 || base >= kImageLimit) {
        throw LoadError(std::string("CERUN_BASE=") + text + " is not an address below " +
                        Hex(kImageLimit));
    }
    return static_cast<uint32_t>(base);
}

std::vector<uint8_t> ReadImageFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw LoadError(std::string("cannot read ") + path + ": " + std::strerror(errno));
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

LoadedImage LoadImageFile(const char* path) {
    try {
        LoadedImage image = LoadImage(ReadImageFile(path), BaseFromEnvironment(), ResolveService);
        if (image.base + image.memory.size() > kImageLimit) {
            throw LoadError("the image reaches past " + Hex(kImageLimit));
        }
        return image;
    } catch (const LoadError& e) {
        sim::EndWithFault(std::string("could not be loaded (") + e.what() + ")");
    }
}

}  // namespace cerun
