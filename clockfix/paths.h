// Paths as the platform compares them.
#pragma once

#include "status_platform.h"

// Whether `a` and `b` name the same file: the object store ignores the
// letter case of a path (ASCII letters: the programs' paths have no others).
bool SamePath(const WCHAR* a, const WCHAR* b);
