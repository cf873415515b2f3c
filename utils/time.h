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


// Local calendar time of a count of seconds since 1970-01-01 UTC.
LocalTime LocalTimeFromEpoch(int64_t seconds, int milliseconds);

}  // namespace Utils
