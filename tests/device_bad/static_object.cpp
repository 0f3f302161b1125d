// Deliberately unfit for the device: a global with a constructor needs
// start-up code and writable data.
#include "platform.h"

struct ModeGuard {
    ModeGuard() : prev(SetKMode(TRUE)) {}
    BOOL prev;
};

ModeGuard g_mode_guard;
