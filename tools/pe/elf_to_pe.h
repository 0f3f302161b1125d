// The PE32 image for a fixer's ARM ELF executable, or for the setup
// library's: a DLL exporting functions by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources.h"
#include "result.h"

namespace pe {

// What makes the image a DLL: its own name and the functions it exports.
struct DllExports {
    std::string name;                // "setup.dll"
    std::vector<std::string> names;  // each a function defined in the code
};

// The image, or why the ELF cannot be one (one line, nothing else); a DLL
// when `dll` names exports; with a .rsrc section when there are `resources`.
sim::Result<std::vector<uint8_t>> ElfToPe(std::vector<uint8_t> elf_file,
                                          const DllExports& dll = {},
                                          const std::vector<Resource>& resources = {});

}  // namespace pe
