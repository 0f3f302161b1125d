#pragma once

// Moves the clock from February 29 to March 1: writes March 1, 00:00:00 in
// the last second of February 29, and March 1 over any February date past the
// 29th. Returns at once, without trace, unless the clock reads February 29, 23:59.
void WatchFeb29Rollover();
