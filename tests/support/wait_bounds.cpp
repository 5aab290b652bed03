#include "tests/support/wait_bounds.h"

#include <cstdlib>

DWORD Bound(DWORD nativeMs) {
    static const DWORD factor = [] {
        char text[16] = {};
        const DWORD length = GetEnvironmentVariableA("PIXMERLE_TIME_FACTOR", text, sizeof text);
        const long value = length > 0 && length < sizeof text ? std::strtol(text, nullptr, 10) : 1;
        return value >= 1 && value <= 100 ? DWORD(value) : DWORD(1);
    }();
    return nativeMs * factor;
}
