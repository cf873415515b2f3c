#include <cwchar>

#include "utils/sysinfo.h"

namespace Utils {

std::wstring OsVersionNameFromNumbers(uint32_t major, uint32_t minor, uint32_t build, bool isServerR2) {
    build &= 0xFFFF;
    switch (major) {
        case 0: case 1: case 2: case 3: case 4:
            return L"XP-";
        case 5:
            if (minor == 0) return L"2K";
            if (minor == 1) return L"XP";
            if (minor == 2) return isServerR2 ? L"Server 2003 R2" : L"Server 2003";
            return L"XP+";
        case 6:
            if (minor == 0) return L"Vista";
            if (minor == 1) return L"7";
            if (minor == 2) return L"8";
            if (minor == 3) return L"8.1";
            return L"8.1+";
        case 10:
            return minor == 0 ? L"10" : L"10+";
        default:
            return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build);
    }
}

std::wstring FormatGuid(uint32_t d1, uint16_t d2, uint16_t d3, const uint8_t d4[8]) {
    wchar_t buf[50];
    std::swprintf(buf, 50, L"%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", d1, d2, d3, d4[0], d4[1], d4[2],
                  d4[3], d4[4], d4[5], d4[6], d4[7]);
    return buf;
}

}  // namespace Utils
