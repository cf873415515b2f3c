// Windows side of the machine and user queries.
#include <windows.h>
#include <lm.h>
#include <objbase.h>
#include <wtsapi32.h>

#include "utils/sysinfo.h"
#include "utils/text.h"

namespace Utils {

void GetOsVersionName(std::wstring& platform, std::wstring& version) {
    platform = L"Windows";
    version.clear();
    HMODULE ntdll = LoadLibraryW(L"ntdll.dll");
    if (!ntdll) {
        version = L"XP-";
        return;
    }
    using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    auto fn = reinterpret_cast<RtlGetNtVersionNumbersFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
    DWORD major = 0, minor = 0, build = 0;
    if (fn) fn(&major, &minor, &build);
    FreeLibrary(ntdll);
    bool r2 = major == 5 && minor == 2 && GetSystemMetrics(89 /* SM_SERVERR2 */) != 0;
    version = OsVersionNameFromNumbers(major, minor, build, r2);
}

bool IsOs64Bit() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto fn = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    if (!fn) return false;
    BOOL wow64 = FALSE;
    if (fn(GetCurrentProcess(), &wow64)) {
#if defined(_WIN64)
        return true;  // a 64-bit build only runs on a 64-bit system
#else
        return wow64 != FALSE;
#endif
    }
    SYSTEM_INFO si;
    GetNativeSystemInfo(&si);
    return si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsProcessAdmin() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

bool GetConsoleUserName(std::wstring& name) {
    DWORD session = WTSGetActiveConsoleSessionId();
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &buffer, &bytes)) return false;
    name = buffer ? buffer : L"";
    WTSFreeMemory(buffer);
    return true;
}

bool IsUserAdmin(const std::wstring& userName) {
    if (userName.empty()) return false;
    LPBYTE buffer = nullptr;
    if (NetUserGetInfo(nullptr, userName.c_str(), 1, &buffer) != NERR_Success) return false;
    bool admin = reinterpret_cast<USER_INFO_1*>(buffer)->usri1_priv == USER_PRIV_ADMIN;
    NetApiBufferFree(buffer);
    return admin;
}

std::wstring NewGuidString() {
    GUID g{};
    if (FAILED(CoCreateGuid(&g))) return {};
    return FormatGuid(g.Data1, g.Data2, g.Data3, g.Data4);
}

std::wstring GetProcessCommandLine() { return GetCommandLineW(); }

bool GetOsVersionNumbers(uint32_t& major, uint32_t& minor, uint32_t& build, bool& serverR2) {
    major = minor = build = 0;
    serverR2 = false;
    // The version-numbers entry of ntdll is not in the import libraries: look it up.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    auto fn = reinterpret_cast<RtlGetNtVersionNumbersFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
    if (!fn) return false;
    DWORD ma = 0, mi = 0, bu = 0;
    fn(&ma, &mi, &bu);
    major = ma;
    minor = mi;
    build = bu & 0xFFFF;
    serverR2 = GetSystemMetrics(89 /* SM_SERVERR2 */) != 0;
    return true;
}

void GetPrimaryScreenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

bool GetUserLocaleNames(std::string& language, std::string& country) {
    char lang[16] = {}, ctry[16] = {};
    language.clear();
    country.clear();
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, lang, sizeof lang) <= 0) return false;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, ctry, sizeof ctry) <= 0) return false;
    language = lang;
    country = ctry;
    return true;
}

}  // namespace Utils
