// A header that does not belong to any program, common/ or the device platform.
#pragma once

constexpr int kStrayConstant = 7;
