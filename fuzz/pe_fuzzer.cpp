// libFuzzer target: any input is an image file handed to the loader. The
// checksum is made good first, so that mutations reach the layout checks
// behind it; the loader must answer every input with an image or a reason,
// and an image it accepts must keep its regions inside its memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pe_format.h"
#include "pe_loader.h"

namespace {

void MakeChecksumGood(std::vector<uint8_t>& file) {
    pe::DosHeader dos;
    if (file.size() < sizeof dos) {
        return;
    }
    std::memcpy(&dos, file.data(), sizeof dos);
    const uint64_t at = uint64_t{dos.pe_offset} + pe::kChecksumInNtHeaders;
    if (at + 4 <= file.size()) {
        const uint32_t sum = pe::ImageChecksum(file, at);
        std::memcpy(file.data() + at, &sum, sizeof sum);
    }
}

uint32_t AnyService(const std::string& /*dll*/, const std::string& name) {
    return name.empty() ? 0 : 0x01FF0000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    MakeChecksumGood(file);
    const uint32_t base = size % 2 == 0 ? 0 : 0x400000;  // both placements
    const sim::Result<cerun::LoadedImage> image = cerun::LoadImage(file, base, AnyService);
    if (!image) {
        return image.why().empty() ? (std::abort(), 0) : 0;
    }
    for (const cerun::Region& r : image->regions) {
        if (r.address < image->base ||
            uint64_t{r.address} + r.size > uint64_t{image->base} + image->memory.size()) {
            std::fprintf(stderr, "region outside the image\n");
            std::abort();
        }
    }
    return 0;
}
