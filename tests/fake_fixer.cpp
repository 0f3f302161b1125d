// Misbehaving stand-ins for a fixer program, for devsim's guards.
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "platform.h"
#include "rtc.h"

int main() {
#if defined(FAKE_CRASH)
    std::abort();
#elif defined(FAKE_HANG)
    for (;;) {
        Sleep(100);
    }
#elif defined(FAKE_VIOLATION)
    ReadRegister(RTC_REG_BASE + BCDYEAR);  // outside kernel mode
#elif defined(FAKE_KILLED)
    // Dies inside a register operation, with a year half written.
    SetKMode(TRUE);
    WriteRegister(RTC_REG_BASE + RTCCON, RTCEN);
    WriteRegister(RTC_REG_BASE + BCDYEAR, 0x77);
    raise(SIGKILL);
#elif defined(FAKE_RELAUNCH)
    // Registers itself for a time long past, so it falls due again at once.
    SYSTEMTIME past = {1950, 1, 0, 2, 0, 0, 0, 0};
    CeRunAppAtTime(const_cast<WCHAR*>(L"\\Windows\\nuv.exe"), &past);
#elif defined(FAKE_SPIN)
    for (;;) {
        Sleep(0);  // never moves device time
    }
#elif defined(FAKE_BUSY)
    for (volatile unsigned n = 0;; n = n + 1) {  // never calls the platform at all
    }
#elif defined(FAKE_EXIT125)
    Sleep(10);
    return 125;  // its own status, which happens to be the platform's "no device"
#elif defined(FAKE_TRUNCATE)
    Sleep(10);
    return truncate(std::getenv("NUV_DEVICE_STATE"), 0);
#elif defined(FAKE_INJECT)
    // A launch path that would forge devsim's own lines and hide the terminal.
    SYSTEMTIME later = {2009, 1, 4, 1, 0, 0, 0, 0};
    CeRunAppAtTime(const_cast<WCHAR*>(L"x\ndevsim: clock right\n\x1b[8m"), &later);
#endif
    return 0;
}
