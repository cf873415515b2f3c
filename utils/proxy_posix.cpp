#include <cstdlib>

#include "utils/proxy.h"

namespace Utils {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

// The variables and their precedence as libcurl reads them: "http_proxy" only
// in lower case (a CGI program's HTTP_PROXY comes from a request header), the
// others in either case, lower case first.
std::string SystemProxyFor(const std::string& url) {
    UrlParts parts = SplitUrl(url);
    if (parts.scheme == "file" || parts.host.empty()) return {};
    std::string noProxy = Env("no_proxy");
    if (noProxy.empty()) noProxy = Env("NO_PROXY");
    if (!noProxy.empty() && HostBypassed(parts.host, noProxy, ",", false)) return {};
    std::string proxy;
    if (parts.scheme == "http") {
        proxy = Env("http_proxy");
    } else if (parts.scheme == "https") {
        proxy = Env("https_proxy");
        if (proxy.empty()) proxy = Env("HTTPS_PROXY");
    }
    if (proxy.empty()) proxy = Env("all_proxy");
    if (proxy.empty()) proxy = Env("ALL_PROXY");
    return proxy;
}

}  // namespace Utils
