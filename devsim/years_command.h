#pragma once

#include "options.h"

namespace devsim {

// `devsim years`: one device over a span of years, the fixers launched by the
// simulated timed launch as they registered themselves, the RTC checked
// against the true calendar after every rollover. Returns devsim's exit status.
int YearsCommand(const YearsOptions& options);

}  // namespace devsim
