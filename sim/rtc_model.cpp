#include "rtc_model.h"

#include "bcd.h"
#include "calendar.h"
#include "registers.h"

namespace sim {

bool ChipTakesLeap(uint8_t year) {
    return (year & 0x0F) <= 9 && BcdValue(year) % 4 == 0;
}

uint8_t ChipLastDay(uint8_t month, uint8_t year) {
    switch (month) {
        case 0x04: case 0x06: case 0x09: case 0x11:
            return 0x30;
        case 0x02:
            return ChipTakesLeap(year) ? 0x29 : 0x28;
        default:
            return 0x31;
    }
}

uint8_t TrueLastDay(uint8_t month, uint8_t year) {
    const bool bcd_month = (month & 0x0F) <= 9;
    const int days = bcd_month ? DaysInMonth(YEAR_BASE + year, BcdValue(month)) : 0;
    return days == 0 ? 0x31 : ToBcd(days);
}

void MidnightStep(RtcRegisters& r, Hw hw) {
    r.day = r.day >= 7 ? 1 : static_cast<uint8_t>(r.day + 1);

    const bool month_ends = hw == Hw::Chip
                                ? (r.date == ChipLastDay(r.month, r.year) || r.date >= 0x31)
                                : r.date >= TrueLastDay(r.month, r.year);
    if (!month_ends) {
        r.date = BcdInc(r.date);
        return;
    }
    r.date = 0x01;
    if (r.month < 0x12) {
        r.month = BcdInc(r.month);
        return;
    }
    r.month = 0x01;
    r.year = hw == Hw::Chip ? BcdInc(r.year) : static_cast<uint8_t>(r.year + 1);
}

namespace {

// Runs the midnight step with its fault and observer.
void Midnight(RtcRegisters& r, Hw hw, MidnightFault* fault, const MidnightObserver& observer,
              int64_t tick) {
    const RtcRegisters before = r;
    MidnightStep(r, hw);
    if (fault != nullptr && fault->mask != 0) {
        for (int i = 0; i < kCalendarCount; ++i) {
            if ((fault->mask & (1U << i)) != 0) {
                r.*kCalendarRegisters[i].field = fault->value[i];
            }
        }
        fault->mask = 0;
    }
    if (observer) {
        observer(tick, before, r);
    }
}

void Tick(RtcRegisters& r, Hw hw, MidnightFault* fault, const MidnightObserver& observer,
          int64_t tick) {
    r.sec = BcdInc(r.sec);
    if (r.sec < 0x60) {
        return;
    }
    r.sec = 0x00;
    r.min = BcdInc(r.min);
    if (r.min < 0x60) {
        return;
    }
    r.min = 0x00;
    r.hour = BcdInc(r.hour);
    if (r.hour < 0x24) {
        return;
    }
    r.hour = 0x00;
    Midnight(r, hw, fault, observer, tick);
}

}  // namespace

void AdvanceTicks(RtcRegisters& r, Hw hw, int64_t ticks, MidnightFault* fault,
                  const MidnightObserver& observer) {
    int64_t done = 0;
    while (done < ticks) {
        if (!IsBcdUpTo(r.sec, 0x59) || !IsBcdUpTo(r.min, 0x59) || !IsBcdUpTo(r.hour, 0x23)) {
            Tick(r, hw, fault, observer, ++done);
            continue;
        }
        const int64_t second_of_day =
            BcdValue(r.hour) * 3600 + BcdValue(r.min) * 60 + BcdValue(r.sec);
        const int64_t to_midnight = 86400 - second_of_day;
        if (ticks - done < to_midnight) {
            const int64_t s = second_of_day + (ticks - done);
            r.hour = ToBcd(static_cast<int>(s / 3600));
            r.min = ToBcd(static_cast<int>(s / 60 % 60));
            r.sec = ToBcd(static_cast<int>(s % 60));
            return;
        }
        r.hour = r.min = r.sec = 0x00;
        done += to_midnight;
        Midnight(r, hw, fault, observer, done);
    }
}

}  // namespace sim
