#include "platform.h"
#include "rearm.h"
#include "watch_feb28.h"

// Freestanding, the compiler does not treat main specially: C linkage keeps
// the name that the start-up code calls.
extern "C" int main(int /*argc*/, char** /*argv*/) {
    WatchFeb28Rollover();
    RearmFixers();
    PowerPolicyNotify(PPN_UNATTENDEDMODE, FALSE);
    return 0;
}
