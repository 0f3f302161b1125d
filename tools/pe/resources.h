// A program's resources (its icon, its version information): read from the
// .res file llvm-rc compiles a resource script into, and laid out as the
// image's .rsrc section, the directory tree the PE/COFF format
// describes (type, then name, then language) over the resources' bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "result.h"

namespace pe {

// A resource's type or name: a number, or a string (never empty).
struct ResourceId {
    uint16_t number = 0;
    std::u16string name;
};

// Named before numbered; names in order of their units, numbers ascending:
// the order of a resource directory's entries.
bool operator<(const ResourceId& a, const ResourceId& b);

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

// Resource types (winuser.h).
constexpr uint16_t kIconType = 3;
constexpr uint16_t kIconGroupType = 14;
constexpr uint16_t kVersionType = 16;
// A .res file this large is none llvm-rc writes for these programs.
constexpr size_t kMaxResFile = 1 << 20;

// The resources of a 32-bit .res file, the empty entry that marks one left
// out; or, in one line, why `file` is not one (an entry past the end, a
// header size that is not its own, a name with no end, a resource twice).
sim::Result<std::vector<Resource>> ReadResFile(const std::vector<uint8_t>& file);

// The .rsrc section for `resources` at `rva`: the directories, named
// entries first in order, then numbered ones ascending; their names; the
// data entries; then each resource's bytes on an 8-byte boundary.
std::vector<uint8_t> ResourceSection(const std::vector<Resource>& resources, uint32_t rva);

}  // namespace pe
