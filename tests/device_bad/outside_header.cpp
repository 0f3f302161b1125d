// Deliberately unfit for the device: pulls in a header from outside the
// program's own sources.
#include "outside_header.h"

int StrayValue() { return kStrayConstant; }
