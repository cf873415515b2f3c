// Windows side of the clock: local time, ticks, sleeping.
#include <windows.h>

#include <ctime>

#include "utils/time.h"

namespace Utils {

LocalTime GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

uint32_t TickCount() { return ::GetTickCount(); }
void SleepMs(uint32_t ms) { ::Sleep(ms); }

LocalTime LocalTimeFromEpoch(int64_t seconds, int milliseconds) {
    __time64_t secs = seconds;
    tm t{};
    if (_localtime64_s(&t, &secs) != 0) return {1970, 1, 1, 0, 0, 0, milliseconds};
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milliseconds};
}

}  // namespace Utils
