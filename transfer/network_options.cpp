#include "transfer/network_options.h"

#include <chrono>
#include <map>
#include <mutex>

#include "transfer/curl_easy.h"
#include "utils/log.h"
#include "utils/proxy.h"
#include "utils/text.h"

namespace curl_easy {

namespace {

// Proxies found unreachable, and when: for a while every request goes direct
// at once instead of waiting for the proxy's connect timeout again.
constexpr auto kRememberDown = std::chrono::minutes(5);
std::mutex g_downMutex;
std::map<std::string, std::chrono::steady_clock::time_point> g_down;

bool KnownDown(const std::string& proxy) {
    std::lock_guard<std::mutex> lock(g_downMutex);
    auto it = g_down.find(proxy);
    if (it == g_down.end()) return false;
    if (std::chrono::steady_clock::now() - it->second < kRememberDown) return true;
    g_down.erase(it);
    return false;
}

void MarkDown(const std::string& proxy) {
    std::lock_guard<std::mutex> lock(g_downMutex);
    g_down[proxy] = std::chrono::steady_clock::now();
}

}  // namespace

int ApplyNetworkOptions(CURL* handle, const NetworkLimits& limits) {
    int code = curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSec);
    code |= curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
    code |= curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedTimeSec);
    code |= curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
    code |= curl_easy_setopt(handle, CURLOPT_TCP_KEEPIDLE, limits.keepIdleSec);
    code |= curl_easy_setopt(handle, CURLOPT_TCP_KEEPINTVL, limits.keepIntervalSec);
    return code;
}

int ApplyProbeDeadline(CURL* handle, const NetworkLimits& limits) {
    return curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.probeTimeoutSec);
}

bool IsTransientFailure(int code, long status) {
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return true;
    case CURLE_HTTP_RETURNED_ERROR:
        return status >= 500 && status <= 599;
    default:
        return false;
    }
}

uint32_t BackoffMs(int count, uint32_t unitMs) {
    int shift = count < 1 ? 0 : (count > 4 ? 3 : count - 1);
    return unitMs << shift;
}

std::string ResumeValidator(CURL* handle) {
    curl_header* header = nullptr;
    if (curl_easy_header(handle, "ETag", 0, CURLH_HEADER, -1, &header) == CURLHE_OK && header && header->value) {
        std::string etag = header->value;
        if (etag.rfind("W/", 0) != 0 && !etag.empty()) return etag;  // a weak one cannot validate a range
    }
    header = nullptr;
    if (curl_easy_header(handle, "Last-Modified", 0, CURLH_HEADER, -1, &header) == CURLHE_OK && header &&
        header->value)
        return header->value;
    return {};
}

std::string ApplyRoute(CURL* handle, const std::string& url) {
    std::string proxy = Utils::SystemProxyFor(url);
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.c_str());
    return proxy;
}

CURLcode PerformRouted(CURL* handle, const std::string& url) {
    std::string proxy = ApplyRoute(handle, url);
    if (!proxy.empty() && KnownDown(proxy)) {
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
        return curl_easy_perform(handle);
    }
    CURLcode code = curl_easy_perform(handle);
    if (!proxy.empty() && (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_PROXY)) {
        // The proxy is down or gone: nothing was sent, try the server itself.
        DEBUG_LOG(L"proxy %ls unreachable (%d), going direct\r\n", Utils::Utf8ToWide(proxy).c_str(),
                  static_cast<int>(code));
        MarkDown(proxy);
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
        code = curl_easy_perform(handle);
    }
    return code;
}

}  // namespace curl_easy
