// Loading a fixer image the way the Windows CE loader does: sections at
// base + RVA, base relocations applied when the image is placed elsewhere,
// and the import address table filled by resolving each name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "result.h"

namespace cerun {

// What the runner's process slot has room for: the image below kImageLimit,
// its stack above it (machine.h).
constexpr uint32_t kImageLimit = 0x01E00000;
constexpr uint32_t kMaxImageSize = 0x01000000;
constexpr uint32_t kMaxStackReserve = 0x00100000;
// The largest image file read: an image holds no more than it maps.
constexpr uint32_t kMaxImageFile = kMaxImageSize;

enum Access : uint32_t { kRead = 1, kWrite = 2, kExecute = 4 };

struct Region {
    uint32_t address;  // page-aligned
    uint32_t size;     // whole pages
    uint32_t access;   // Access bits
};

struct LoadedImage {
    uint32_t base = 0;
    std::vector<uint8_t> memory;  // the whole image as placed at `base`
    std::vector<Region> regions;  // the headers' page and each section
    uint32_t entry = 0;
    uint32_t stack_reserve = 0;
    bool dll = false;                          // a DLL: entered at DllMain
    std::map<std::string, uint32_t> exports;  // a DLL's functions by name, as placed
    std::set<uint32_t> imported;              // the addresses its imports were given
};

// The address of the named export of `dll`, or 0 when it has none.
using Resolver = std::function<uint32_t(const std::string& dll, const std::string& name)>;

// An ARM address as reports give it: "0x00011004".
std::string Hex(uint32_t v);

// Places `file` at `base` (0: the image's own base), or says why it cannot.
sim::Result<LoadedImage> LoadImage(const std::vector<uint8_t>& file, uint32_t base,
                                   const Resolver& resolve);

}  // namespace cerun
