// Monotonic clock of the platform.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary fixed point (boot on most systems); never goes back.
uint64_t GetTickCountMs();
