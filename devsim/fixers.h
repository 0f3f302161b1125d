// The three fixer programs as devsim knows them, in launch-table order.
#pragma once

#include <string>

namespace devsim {

inline constexpr const char* kFixerNames[3] = {"nuv", "nuv28", "nuv29"};
inline constexpr const char* kFixerPaths[3] = {"\\Windows\\nuv.exe", "\\Windows\\nuv28.exe",
                                               "\\Windows\\nuv29.exe"};

// Index of `name` in kFixerNames, or -1.
int FixerIndex(const std::string& name);

}  // namespace devsim
