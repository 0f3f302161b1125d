#include "platform.h"
#include "rearm.h"
#include "watch_feb28.h"

int main(int /*argc*/, char** /*argv*/) {
    WatchFeb28Rollover();
    RearmFixers();
    PowerPolicyNotify(PPN_UNATTENDEDMODE, FALSE);
    return 0;
}
