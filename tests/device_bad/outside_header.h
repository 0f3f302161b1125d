// A header that does not belong to any program, common/ or the device platform.
#pragma once

static const int kStrayConstant = 7;
