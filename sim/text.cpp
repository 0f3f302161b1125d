#include "text.h"

#include <cstdio>

namespace sim {

namespace {

std::string Hex(unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", value);
    return hex;
}

// The length of the well-formed UTF-8 sequence at `at`, and its code
// point; 0 for a byte that starts none (overlong forms and surrogates too).
size_t Sequence(const std::string& text, size_t at, unsigned& code) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF                ? 3
                          : lead >= 0xF0 && lead <= 0xF4                ? 4
                                                                        : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    code = length == 1 ? lead : lead & (0x7FU >> length);
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (next & 0x3FU);
    }
    static const unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool sound = code >= kLeast[length] && code <= 0x10FFFF &&
                       (code < 0xD800 || code > 0xDFFF);
    return sound ? length : 0;
}

}  // namespace

std::string Escaped(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        unsigned code = 0;
        const size_t length = Sequence(text, at, code);
        const char c = text[at];
        if (length == 0) {
            out += Hex(static_cast<unsigned char>(c));  // not UTF-8: the byte itself
            ++at;
            continue;
        }
        if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
            out += Hex(code);  // C0 and C1 controls steer a terminal
        } else {
            out += text.substr(at, length);
        }
        at += length;
    }
    return out;
}

}  // namespace sim
