// POSIX side of the clock: local time, ticks, sleeping.
#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "utils/time.h"

namespace Utils {

LocalTime GetLocalTime() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm t{};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
            static_cast<int>(tv.tv_usec / 1000)};
}

uint32_t TickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

LocalTime LocalTimeFromEpoch(int64_t seconds, int milliseconds) {
    time_t secs = static_cast<time_t>(seconds);
    tm t{};
    localtime_r(&secs, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milliseconds};
}

}  // namespace Utils
