// Misbehaving stand-ins for a fixer program, for devsim's guards.
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
#endif
    return 0;
}
