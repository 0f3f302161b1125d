// libFuzzer target: any input is an ELF file handed to elf2pe's reader. It
// must answer with an image or one line saying why, and an image it makes
// must be one the PE records describe (its headers inside it).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "elf_to_pe.h"
#include "pe_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const sim::Result<std::vector<uint8_t>> image =
        pe::ElfToPe(std::vector<uint8_t>(data, data + size));
    if (!image) {
        if (image.why().empty() || image.why().find('\n') != std::string::npos) {
            std::abort();
        }
        return 0;
    }
    pe::DosHeader dos;
    if (image->size() < sizeof dos + sizeof(pe::NtHeaders)) {
        std::abort();
    }
    std::memcpy(&dos, image->data(), sizeof dos);
    if (dos.magic != pe::kDosMagic || dos.pe_offset + sizeof(pe::NtHeaders) > image->size()) {
        std::fprintf(stderr, "image without its headers\n");
        std::abort();
    }
    return 0;
}
