#pragma once

// Watches the year register across New Year and writes the binary successor
// when the hardware steps to anything else. Returns at once unless the clock
// reads December 31, 23:59.
void WatchYearRollover();
