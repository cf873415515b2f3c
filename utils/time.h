#pragma once
#include <cstdint>

namespace Utils {

struct LocalTime {
    int year, month, day, hour, minute, second, milliseconds;
};

LocalTime GetLocalTime();
// Milliseconds since an arbitrary start, wrapping like GetTickCount.
uint32_t TickCount();
void SleepMs(uint32_t ms);

}  // namespace Utils
