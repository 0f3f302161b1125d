// Text a program chose (a launch path, say) as devsim prints it: control
// characters escaped, so that it can neither start a line of its own nor
// steer the terminal.
#pragma once

#include <string>

namespace sim {

// `text` with each control character (C0, DEL and C1) written as \n, \r,
// \t or \xHH of its code point, and each byte that is not UTF-8 as \xHH.
std::string Escaped(const std::string& text);

}  // namespace sim
