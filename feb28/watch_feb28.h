#pragma once

// Watches the step from February 28 and writes February 29 (leap year) or
// March 1 (common year) when the hardware steps anywhere else. The leap year
// is judged once, from the year register at start. Returns at once, after the
// snapshot and the leap-year line, unless the clock reads February 28, 23:59.
void WatchFeb28Rollover();
