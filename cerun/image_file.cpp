// The image file as a program process loads it: read, placed at its base or
// at CERUN_BASE, its imports resolved to the runner's traps.
#include <cstdlib>
#include <string>
#include <vector>

#include "fd_io.h"
#include "host_platform.h"
#include "machine.h"

namespace cerun {

namespace {

sim::Result<uint32_t> BaseFromEnvironment() {
    const char* text = std::getenv("CERUN_BASE");
    if (text == nullptr || *text == '\0') {
        return 0U;
    }
    char* end = nullptr;
    const unsigned long base = std::strtoul(text, &end, 16);
    if (*end != '\0' || base == 0 || base >= kImageLimit) {
        return sim::Fail(std::string("CERUN_BASE=") + text + " is not an address below " +
                         Hex(kImageLimit));
    }
    return static_cast<uint32_t>(base);
}

sim::Result<LoadedImage> ReadAndLoad(const char* path) {
    const sim::Result<std::vector<uint8_t>> file = sim::ReadRegularFile(path, kMaxImageFile);
    return file ? LoadImageFromBytes(*file) : sim::Fail(file.why());
}

}  // namespace

sim::Result<LoadedImage> LoadImageFromBytes(const std::vector<uint8_t>& file) {
    const sim::Result<uint32_t> base = BaseFromEnvironment();
    if (!base) {
        return sim::Fail(base.why());
    }
    sim::Result<LoadedImage> image = LoadImage(file, *base, ResolveService);
    if (image && image->dll && *base == 0) {
        image = LoadImage(file, kDllBase, ResolveService);
    }
    return image;
}

LoadedImage LoadImageFile(const char* path) {
    sim::Result<LoadedImage> image = ReadAndLoad(path);
    if (!image) {
        sim::EndWithFault("could not be loaded (" + image.why() + ")");
    }
    return std::move(*image);
}

}  // namespace cerun
