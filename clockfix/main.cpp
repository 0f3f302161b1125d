#include "readback.h"
#include "rearm.h"
#include "status.h"

// Started by the owner (the Start menu's Clock fix) and by the installer:
// arms the set as a fixer does, then says in one box whether it is armed.
extern "C" int main(int /*argc*/, char** /*argv*/) {
    RearmFixers();
    SYSTEMTIME now;
    GetLocalTime(&now);
    FixerStatus fixers[MAX_FIXERS];
    const unsigned count = FixerCount() < MAX_FIXERS ? FixerCount() : MAX_FIXERS;
    for (unsigned i = 0; i < count; ++i) {
        ReadBack(FixerPath(i), RearmTime(i, now), fixers[i]);
    }
    WCHAR text[STATUS_TEXT_SIZE];
    ComposeStatus(now, fixers, count, text);
    MessageBoxW(0, text, L"Clock fix", MB_OK);
    return 0;
}
