#include "registers.h"

namespace sim {

int CalendarIndex(uint32_t offset) {
    for (int i = 0; i < kCalendarCount; ++i) {
        if (kCalendarRegisters[i].offset == offset) {
            return i;
        }
    }
    return -1;
}

int CalendarIndex(uint8_t RtcRegisters::*field) {
    for (int i = 0; i < kCalendarCount; ++i) {
        if (kCalendarRegisters[i].field == field) {
            return i;
        }
    }
    return -1;
}

}  // namespace sim
