// The day this release of the status program was made: a clock showing an
// earlier date cannot be right (after a hard reset it shows 1 January 2003).
#pragma once

static const unsigned BUILT_YEAR = 2026;
static const unsigned BUILT_MONTH = 12;
static const unsigned BUILT_DAY = 7;
