#pragma once
// The proxy the user's system settings choose for a URL, so that every
// transfer goes the way the system's own downloads go. Windows: the user's
// Internet settings through WinHTTP (a fixed proxy with its bypass list, or
// automatic configuration: a PAC script or WPAD). Elsewhere: the environment
// variables libcurl reads (http_proxy, HTTPS_PROXY/https_proxy,
// ALL_PROXY/all_proxy, NO_PROXY/no_proxy).
#include <string>

namespace Utils {

// "scheme://host:port" of the proxy for url (a plain "host:port" when the
// settings give no scheme); "" for a direct connection.
std::string SystemProxyFor(const std::string& url);

// Pieces of a URL the proxy rules look at.
struct UrlParts {
    std::string scheme;  // lower case, "" when the URL has none
    std::string host;    // lower case, without brackets or port
};
UrlParts SplitUrl(const std::string& url);

// True when host is named by a bypass list: entries split at any of
// separators, each a host name or a domain (".example.com" or "example.com"
// matches it and its sub-domains), "*" for every host, and with
// allowWildcards "*.example.com"-style patterns and "<local>" (names without a
// dot).
bool HostBypassed(const std::string& host, const std::string& list, const char* separators, bool allowWildcards);

}  // namespace Utils
