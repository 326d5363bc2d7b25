#include <windows.h>

#include "platform/clock.h"

uint64_t GetTickCountMs() {
    // The 64-bit count never wraps, unlike GetTickCount's 49.7 days.
    return GetTickCount64();
}
