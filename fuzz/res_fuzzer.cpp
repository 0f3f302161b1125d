// libFuzzer target: any input is a .res file handed to elf2pe's resource
// reader. It must answer with resources or one line saying why, and the
// .rsrc section it lays out for them must be a tree a reader can walk:
// every directory, name and data entry inside the section, every
// resource's bytes where its entry says.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "resources.h"

namespace {

constexpr uint32_t kRva = 0x5000;

uint32_t Word(const std::vector<uint8_t>& s, uint64_t at, size_t bytes) {
    if (at + bytes > s.size()) {
        std::fprintf(stderr, "the section's tree points past its end\n");
        std::abort();
    }
    uint32_t v = 0;
    std::memcpy(&v, s.data() + at, bytes);
    return v;
}

// Counts the leaves under the directory at `dir`, checking each.
size_t Walk(const std::vector<uint8_t>& s, uint32_t dir, int level) {
    const uint32_t count = Word(s, dir + 12, 2) + Word(s, dir + 14, 2);
    size_t leaves = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t key = Word(s, dir + 16 + 8ULL * i, 4);
        const uint32_t target = Word(s, dir + 20 + 8ULL * i, 4);
        if ((key & 0x80000000U) != 0) {
            Word(s, (key & 0x7FFFFFFFU) + 2ULL * Word(s, key & 0x7FFFFFFFU, 2), 2);
        }
        if ((target & 0x80000000U) != 0) {
            leaves += level < 2 ? Walk(s, target & 0x7FFFFFFFU, level + 1) : (std::abort(), 0);
            continue;
        }
        const uint32_t data = Word(s, target, 4);
        if (data < kRva || data - kRva + uint64_t{Word(s, target + 4, 4)} > s.size()) {
            std::abort();
        }
        ++leaves;
    }
    return leaves;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const sim::Result<std::vector<pe::Resource>> resources =
        pe::ReadResFile(std::vector<uint8_t>(data, data + size));
    if (!resources) {
        if (resources.why().empty() || resources.why().find('\n') != std::string::npos) {
            std::abort();
        }
        return 0;
    }
    const std::vector<uint8_t> section = pe::ResourceSection(*resources, kRva);
    if (Walk(section, 0, 0) != resources->size()) {
        std::fprintf(stderr, "the tree does not hold every resource once\n");
        std::abort();
    }
    return 0;
}
