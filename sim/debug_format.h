#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sim {

// Supplies a format's arguments in turn, each an unsigned int: from a
// va_list on the host, from the ARM registers and stack in the runner.
using NextArg = std::function<uint32_t()>;

// Formats a device trace line the way the device's debug output does: %x is
// lowercase hexadecimal and %d decimal, each taking the next argument; "%%"
// is a percent sign; anything else is copied. The format is UTF-32 (the
// host's wchar_t) or UTF-16 (the device's); the result is UTF-8.
std::string FormatDebug(const wchar_t* format, const NextArg& next);
std::string FormatDebug(const char16_t* format, const NextArg& next);

// UTF-8 form of a wide string.
std::string ToUtf8(const wchar_t* text);
std::string ToUtf8(const char16_t* text);

// The device's (UTF-16) form of UTF-8 text; U+FFFD for each byte that
// starts no well-formed sequence.
std::u16string ToUtf16(const std::string& text);

// The host's wide form of a device (UTF-16) string, surrogate pairs joined.
std::wstring ToWide(const char16_t* text);

}  // namespace sim
