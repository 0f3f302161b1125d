#include "paths.h"

namespace {

WCHAR Folded(WCHAR c) { return c >= L'A' && c <= L'Z' ? static_cast<WCHAR>(c + (L'a' - L'A')) : c; }

}  // namespace

bool SamePath(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        if (Folded(*a) != Folded(*b)) {
            return false;
        }
        if (*a == 0) {
            return true;
        }
    }
}
