#include "debug_format.h"

#include <cstdio>

namespace sim {

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = 0xFFFD;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at `p`, moving `p` past it: a UTF-16 surrogate pair is one.
uint32_t TakeCodePoint(const wchar_t*& p) { return static_cast<uint32_t>(*p++); }

uint32_t TakeCodePoint(const char16_t*& p) {
    const uint32_t high = *p++;
    if (high >= 0xD800 && high <= 0xDBFF && *p >= 0xDC00 && *p <= 0xDFFF) {
        return 0x10000 + ((high - 0xD800) << 10) + (static_cast<uint32_t>(*p++) - 0xDC00);
    }
    return high;
}

template <typename Char>
std::string Utf8Of(const Char* text) {
    std::string out;
    while (*text != 0) {
        AppendUtf8(out, TakeCodePoint(text));
    }
    return out;
}

template <typename Char>
std::string Format(const Char* p, const NextArg& next) {
    std::string out;
    while (*p != 0) {
        if (*p != '%' || (p[1] != 'x' && p[1] != 'd' && p[1] != '%')) {
            AppendUtf8(out, TakeCodePoint(p));
            continue;
        }
        const Char conversion = p[1];
        p += 2;
        if (conversion == '%') {
            out += '%';
            continue;
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, conversion == 'x' ? "%x" : "%u", next());
        out += buf;
    }
    return out;
}

}  // namespace

std::string FormatDebug(const wchar_t* format, const NextArg& next) { return Format(format, next); }
std::string FormatDebug(const char16_t* format, const NextArg& next) {
    return Format(format, next);
}

std::string ToUtf8(const wchar_t* text) { return Utf8Of(text); }
std::string ToUtf8(const char16_t* text) { return Utf8Of(text); }

namespace {

// The code point that starts at `s[at]`, moving `at` past it; U+FFFD for a
// byte that starts no well-formed sequence.
uint32_t TakeUtf8(const std::string& s, size_t& at) {
    const auto byte = [&s](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(at++);
    const size_t more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (lead < 0x80 || more == 0 || lead > 0xF4 || at + more > s.size()) {
        return lead < 0x80 ? lead : 0xFFFD;
    }
    uint32_t c = lead & (0x3F >> more);
    for (size_t i = 0; i < more; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return 0xFFFD;  // the lead byte alone: each byte after it is read again
    }
    at += more;
    return c;
}

}  // namespace

std::u16string ToUtf16(const std::string& text) {
    std::u16string out;
    for (size_t at = 0; at < text.size();) {
        const uint32_t c = TakeUtf8(text, at);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::wstring ToWide(const char16_t* text) {
    std::wstring out;
    while (*text != 0) {
        out += static_cast<wchar_t>(TakeCodePoint(text));
    }
    return out;
}

}  // namespace sim
