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
#elif defined(FAKE_SLEEP_PRINT)
    // Works hard between Sleeps that keep device time moving: busy, not spinning.
    static WCHAR line[1001];
    for (int i = 0; i < 1000; ++i) {
        line[i] = L'x';
    }
    for (;;) {
        NKDbgPrintfW(line);
        Sleep(1);
    }
#elif defined(FAKE_EXIT125)
    Sleep(10);
    return 125;  // its own status, which happens to be the platform's "no device"
#elif defined(FAKE_TRUNCATE)
    Sleep(10);
    return truncate(std::getenv("NUV_DEVICE_STATE"), 0);
#elif defined(FAKE_TRACE_FIRST)
    // nuv's fix, traced before the write that makes it.
    RtcRegisters r = {0x3b, 0x01, 0x04, 0x01, 0x00, 0x00, 0x00};
    NKDbgPrintfW(L"[RTC] fix year %x (%d)\r\n", 0x3bU, 0x3bU);
    WriteRtcYear(r);
    for (int i = 0; i < 10; ++i) {
        ReadRtc(r);
    }
#elif defined(FAKE_REGISTER_FIRST)
    // A registration made before the trace of its time.
    SYSTEMTIME t = {2009, 12, 0, 31, 23, 59, 0, 0};
    CeRunAppAtTime(const_cast<WCHAR*>(L"\\Windows\\nuv.exe"), &t);
    NKDbgPrintfW(L"Year:      %d\r\nMonth:     %d\r\nDay:       %d\r\n", 2009U, 12U, 31U);
    for (int i = 0; i < 10; ++i) {
        Sleep(10);
        PowerPolicyNotify(3, 1);
    }
#elif defined(FAKE_INJECT)
    // A launch path that would forge devsim's own lines and hide the terminal.
    SYSTEMTIME later = {2009, 1, 4, 1, 0, 0, 0, 0};
    CeRunAppAtTime(const_cast<WCHAR*>(L"x\ndevsim: clock right\n\x1b[8m"), &later);
#endif
    return 0;
}
