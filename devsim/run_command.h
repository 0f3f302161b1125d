#pragma once

#include "options.h"

namespace devsim {

// `devsim run`: one program on a fresh device; returns devsim's exit status.
int RunCommand(const RunOptions& options);

}  // namespace devsim
