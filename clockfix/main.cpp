#include "status.h"

// The entry point, called as the platform calls WinMain: the instance, none,
// the command line, how to show a window.
extern "C" int main(HANDLE /*instance*/, HANDLE /*previous*/, WCHAR* command_line, int /*show*/) {
    return ShowStatus(command_line);
}
