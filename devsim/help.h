// devsim's help: one part per command, each line within 80 columns.
#pragma once

#include <string>

namespace devsim {

// "run", "years", or empty for all of it; nullptr for a command there is none of.
const char* HelpFor(const std::string& command);

}  // namespace devsim
