#pragma once

#include <cstdarg>
#include <string>

namespace sim {

// Formats a device trace line the way the device's debug output does: %x is
// lowercase hexadecimal and %d decimal, each taking the next unsigned int;
// "%%" is a percent sign; anything else is copied. The result is UTF-8.
std::string FormatDebug(const wchar_t* format, va_list args);

// UTF-8 form of a wide string.
std::string ToUtf8(const wchar_t* text);

}  // namespace sim
