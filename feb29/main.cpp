#include "platform.h"
#include "rearm.h"
#include "watch_feb29.h"

int main(int /*argc*/, char** /*argv*/) {
    WatchFeb29Rollover();
    RearmFixers();
    PowerPolicyNotify(PPN_UNATTENDEDMODE, FALSE);
    return 0;
}
