#include "say.h"

#include <iostream>

namespace devsim {

namespace {

std::string FitLine(std::string line, size_t indent) {
    std::string out;
    while (line.size() > kColumns) {
        const size_t cut = line.rfind(' ', kColumns);
        if (cut == std::string::npos || cut <= indent) {
            break;  // one word wider than a line: left whole
        }
        out += line.substr(0, cut) + "\n";
        line = std::string(indent, ' ') + line.substr(cut + 1);
    }
    return out + line;
}

}  // namespace

std::string Fitted(const std::string& text, size_t indent) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        out += FitLine(text.substr(at, end - at), indent);
        if (end < text.size()) {
            out += "\n";
        }
        at = end + 1;
    }
    return out;
}

void Say(const std::string& text) { std::cerr << Fitted(text); }

}  // namespace devsim
