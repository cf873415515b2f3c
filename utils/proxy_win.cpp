#include <windows.h>
#include <winhttp.h>

#include "utils/proxy.h"
#include "utils/system_library_win.h"
#include "utils/text.h"

// WinHTTP is loaded when it is first needed, from the system folder only: the
// program imports nothing statically but KnownDLLs, so that no DLL beside it
// is loaded in their place.

namespace Utils {

namespace {

using GetIEConfigFn = decltype(&WinHttpGetIEProxyConfigForCurrentUser);
using OpenFn = decltype(&WinHttpOpen);
using CloseFn = decltype(&WinHttpCloseHandle);
using GetProxyForUrlFn = decltype(&WinHttpGetProxyForUrl);

struct WinHttp {
    HMODULE module = nullptr;
    GetIEConfigFn getIEConfig = nullptr;
    OpenFn open = nullptr;
    CloseFn close = nullptr;
    GetProxyForUrlFn getProxyForUrl = nullptr;

    WinHttp() {
        module = LoadSystemLibrary(L"winhttp.dll");
        if (!module) return;
        getIEConfig = reinterpret_cast<GetIEConfigFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "WinHttpGetIEProxyConfigForCurrentUser")));
        open = reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(module, "WinHttpOpen")));
        close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(module, "WinHttpCloseHandle")));
        getProxyForUrl = reinterpret_cast<GetProxyForUrlFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "WinHttpGetProxyForUrl")));
    }
    // Kept loaded for the life of the process (a function-local static).
};

const WinHttp& Api() {
    static WinHttp api;
    return api;
}

// Owns a string WinHTTP allocated with GlobalAlloc.
struct GlobalText {
    LPWSTR text = nullptr;
    ~GlobalText() {
        if (text) GlobalFree(text);
    }
    std::string Utf8() const { return text ? WideToUtf8(text) : std::string(); }
};

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The entry for scheme of a proxy list: "host:port", or per scheme
// "http=host:port;https=host:port"; a list of several proxies gives its first.
std::string PickProxy(const std::string& list, const std::string& scheme) {
    std::string plain;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find_first_of("; ", pos);
        if (end == std::string::npos) end = list.size();
        std::string entry = Trim(list.substr(pos, end - pos));
        pos = end + 1;
        if (entry.empty()) continue;
        size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            if (plain.empty()) plain = entry;
            continue;
        }
        if (entry.substr(0, eq) == scheme) return entry.substr(eq + 1);
    }
    return plain;
}

std::string AsCurlProxy(const std::string& proxy) {
    if (proxy.empty() || proxy.find("://") != std::string::npos) return proxy;
    return "http://" + proxy;
}

// The automatic configuration's answer for url: true when it gave one (proxy
// then "" for a direct connection).
bool AutoProxy(const WinHttp& api, const std::wstring& url, const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& config,
               const std::string& scheme, std::string& proxy) {
    if (!api.open || !api.close || !api.getProxyForUrl) return false;
    HINTERNET session = api.open(L"Velqor", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return false;
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (config.lpszAutoConfigUrl) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config.lpszAutoConfigUrl;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    bool ok = api.getProxyForUrl(session, url.c_str(), &options, &info) != FALSE;
    GlobalText list{info.lpszProxy}, bypass{info.lpszProxyBypass};
    api.close(session);
    if (!ok) return false;
    proxy.clear();
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && list.text)
        proxy = AsCurlProxy(PickProxy(list.Utf8(), scheme));
    return true;
}

}  // namespace

std::string SystemProxyFor(const std::string& url) {
    UrlParts parts = SplitUrl(url);
    if (parts.scheme != "http" && parts.scheme != "https") return {};
    const WinHttp& api = Api();
    if (!api.getIEConfig) return {};
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!api.getIEConfig(&config)) return {};
    GlobalText autoUrl{config.lpszAutoConfigUrl}, manual{config.lpszProxy}, bypass{config.lpszProxyBypass};
    std::string proxy;
    // Automatic configuration first, as the system's own downloads do; when it
    // gives no answer (no script, no WPAD server) the fixed settings apply.
    if ((config.fAutoDetect || config.lpszAutoConfigUrl) && AutoProxy(api, Utf8ToWide(url), config, parts.scheme, proxy))
        return proxy;
    if (!manual.text) return {};
    if (bypass.text && HostBypassed(parts.host, bypass.Utf8(), "; \t", true)) return {};
    return AsCurlProxy(PickProxy(manual.Utf8(), parts.scheme));
}

}  // namespace Utils
