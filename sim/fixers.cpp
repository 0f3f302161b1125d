#include "fixers.h"

namespace sim {

int FixerIndex(const std::string& name) {
    for (int i = 0; i < kFixerCount; ++i) {
        if (name == kFixers[i].name) {
            return i;
        }
    }
    return -1;
}

std::string FixerNames(const char* last) {
    std::string names;
    for (int i = 0; i < kFixerCount; ++i) {
        if (i > 0) {
            names += i + 1 == kFixerCount ? std::string(" ") + last + " " : ", ";
        }
        names += kFixers[i].name;
    }
    return names;
}

}  // namespace sim
