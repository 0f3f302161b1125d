// Text a program chose (a launch path, say) as devsim prints it: control
// characters escaped, so that it can neither start a line of its own nor
// steer the terminal.
#pragma once

#include <string>

namespace sim {

// `text` with each control character written as \n, \r, \t or \xHH.
std::string Escaped(const std::string& text);

}  // namespace sim
