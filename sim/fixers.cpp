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

}  // namespace sim
