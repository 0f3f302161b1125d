#include "platform.h"
#include "rearm.h"
#include "watch_year.h"

int main(int /*argc*/, char** /*argv*/) {
    WatchYearRollover();
    RearmFixers();
    PowerPolicyNotify(PPN_UNATTENDEDMODE, FALSE);
    return 0;
}
