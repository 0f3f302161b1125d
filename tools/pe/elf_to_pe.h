// The PE32 image for a fixer's ARM ELF executable.
#pragma once

#include <cstdint>
#include <vector>

#include "result.h"

namespace pe {

// The image, or why the ELF cannot be one (one line, nothing else).
sim::Result<std::vector<uint8_t>> ElfToPe(std::vector<uint8_t> elf_file);

}  // namespace pe
