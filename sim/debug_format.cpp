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

}  // namespace

std::string ToUtf8(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        AppendUtf8(out, static_cast<uint32_t>(*p));
    }
    return out;
}

std::string FormatDebug(const wchar_t* format, va_list args) {
    std::string out;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%' || (p[1] != L'x' && p[1] != L'd' && p[1] != L'%')) {
            AppendUtf8(out, static_cast<uint32_t>(*p));
            continue;
        }
        ++p;
        if (*p == L'%') {
            out += '%';
            continue;
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, *p == L'x' ? "%x" : "%u", va_arg(args, unsigned int));
        out += buf;
    }
    return out;
}

}  // namespace sim
