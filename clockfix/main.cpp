#include "status.h"

// The entry point of the device build, which the platform calls as WinMain:
// the instance, none, the command line, how to show a window. A hosted
// compiler knows main only by the standard's signatures; the host build's
// entry is the simulated device's (sim/host_status_platform.cpp).
#if !__STDC_HOSTED__
extern "C" int main(HANDLE /*instance*/, HANDLE /*previous*/, WCHAR* command_line, int /*show*/) {
    return ShowStatus(command_line);
}
#endif
