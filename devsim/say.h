// devsim's own lines on stderr, each fitted to 80 columns: a longer line
// is broken at its last blank before the edge and goes on indented.
#pragma once

#include <string>

namespace devsim {

constexpr size_t kColumns = 80;

// `text` (whole lines) with every line longer than kColumns broken at
// blanks; continuation lines start with `indent` blanks.
std::string Fitted(const std::string& text, size_t indent = 8);

// Writes Fitted(text) to stderr.
void Say(const std::string& text);

}  // namespace devsim
