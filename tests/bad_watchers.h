// Watchers that each break one rule, for showing that the fuzzer's
// invariant checker catches them.
#pragma once

void WatchYearWritesOldPlus16();
void WatchYearGivesUpEarly();
void WatchYearLeavesRtcenSet();
void WatchYearMisquotesItsFix();
void WatchFeb28ClearsTheWeekday();
void WatchFeb29WritesTooEarly();
