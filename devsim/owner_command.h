#pragma once

#include "options.h"

namespace devsim {

// `devsim owner`: the owner's actions, in order, on the device kept in a
// state file; returns devsim's exit status.
int OwnerCommand(const OwnerOptions& options);

}  // namespace devsim
