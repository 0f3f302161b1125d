#include "readback.h"
#include "rearm.h"
#include "status.h"

// Started by the owner (the Start menu's Clock fix) and by the installer:
// arms the set as a fixer does, then says in one box whether it is armed.
// The box comes to the front itself: this program has no window, and the
// installer's or the Today screen's is in front.
extern "C" int main(int /*argc*/, char** /*argv*/) {
    Registration made[MAX_FIXERS];
    RearmFixers(made, MAX_FIXERS);
    FixerStatus fixers[MAX_FIXERS];
    const unsigned count = FixerCount() < MAX_FIXERS ? FixerCount() : MAX_FIXERS;
    for (unsigned i = 0; i < count; ++i) {
        fixers[i].path = FixerPath(i);
        CopyTime(fixers[i].due_at, made[i].at);
        fixers[i].due = DateExists(made[i].at);
        fixers[i].asked = made[i].taken != FALSE;
    }
    ReadBack(fixers, count);
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR text[STATUS_TEXT_SIZE];
    const UINT icon = ComposeStatus(now, fixers, count, text);
    MessageBoxW(0, text, L"Clock fix", MB_OK | MB_SETFOREGROUND | icon);
    return 0;
}
