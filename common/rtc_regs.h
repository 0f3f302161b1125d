// RTC register map and the snapshot record it fills. Shared by the fixers and
// by the simulated device so that the two can never disagree on an offset.
#pragma once

#include "platform.h"

static const uint32_t RTC_PHYS_BASE = 0xB1700000;  // kernel virtual address of the block

static const uint32_t RTCCON = 0x40;   // control
static const uint8_t RTCEN = 0x01;     //   calendar registers accessible while set
static const uint32_t BCDSEC = 0x70;   // second, BCD 00-59
static const uint32_t BCDMIN = 0x74;   // minute, BCD 00-59
static const uint32_t BCDHOUR = 0x78;  // hour, BCD 00-23
static const uint32_t BCDDATE = 0x7C;  // day of the month, BCD 01-31
static const uint32_t BCDDAY = 0x80;   // day of the week, 1-7
static const uint32_t BCDMON = 0x84;   // month, BCD 01-12
static const uint32_t BCDYEAR = 0x88;  // year, binary count since YEAR_BASE

static const int YEAR_BASE = 1950;  // 0x3A (58) is 2008: the year byte is binary

// Raw register bytes, in the order the registers are transferred.
struct RtcRegisters {
    uint8_t year;   // BCDYEAR
    uint8_t month;  // BCDMON
    uint8_t day;    // BCDDAY, day of the week
    uint8_t date;   // BCDDATE, day of the month
    uint8_t hour;   // BCDHOUR
    uint8_t min;    // BCDMIN
    uint8_t sec;    // BCDSEC
};

// The calendar registers in transfer order, highest offset first, each with
// the byte of RtcRegisters it fills; the record keeps the same order, so
// entry i fills byte i. X(REGISTER, field) once per register: the programs
// build their table from it, the host adds the names for people.
#define RTC_CALENDAR_REGISTERS(X) \
    X(BCDYEAR, year)              \
    X(BCDMON, month)              \
    X(BCDDAY, day)                \
    X(BCDDATE, date)              \
    X(BCDHOUR, hour)              \
    X(BCDMIN, min)                \
    X(BCDSEC, sec)

struct RtcCalendarRegister {
    uint32_t offset;
    uint8_t RtcRegisters::*field;
};

#define RTC_CALENDAR_ENTRY(reg, field) {reg, &RtcRegisters::field},
static const RtcCalendarRegister RTC_CALENDAR[] = {RTC_CALENDAR_REGISTERS(RTC_CALENDAR_ENTRY)};
#undef RTC_CALENDAR_ENTRY
static const unsigned RTC_CALENDAR_COUNT = sizeof RTC_CALENDAR / sizeof RTC_CALENDAR[0];
