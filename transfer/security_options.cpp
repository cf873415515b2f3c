#include "transfer/curl_easy.h"

namespace curl_easy {

namespace {

bool StartsWithHttps(const std::string& url) {
    if (url.size() < 8) return false;
    static const char kScheme[] = "https://";
    for (size_t i = 0; i < 8; ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[i]) return false;
    }
    return true;
}

}  // namespace

// What a server must prove and what it may send. The package is run elevated
// and the uploads carry the installation's identity, so:
// - only HTTP and HTTPS are spoken, and a transfer that began over HTTPS may be
//   redirected to HTTPS only (a redirect to plain HTTP fails with
//   CURLE_UNSUPPORTED_PROTOCOL), at most kMaxRedirects times;
// - the server's certificate and host name are verified; Schannel's revocation
//   check is best effort, so an unreachable revocation server or an
//   intercepting corporate proxy does not fail every request (on other TLS
//   back-ends the option is ignored);
// - no body is accepted whose announced length exceeds kMaxBodyBytes (a
//   caller that knows the length lowers the limit with LimitBodySize).
int ApplySecurityOptions(CURL* handle, const std::string& url) {
    int code = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    code |= curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    code |= curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    code |= curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, StartsWithHttps(url) ? "https" : "http,https");
    code |= curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    code |= LimitBodySize(handle, kMaxBodyBytes);
    // Not every TLS back-end knows the option (OpenSSL answers that it is not
    // built in); it only matters where Schannel verifies.
    CURLcode revoke = curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    if (revoke != CURLE_NOT_BUILT_IN && revoke != CURLE_UNKNOWN_OPTION) code |= revoke;
    return code;
}

int LimitBodySize(CURL* handle, curl_off_t bytes) {
    if (bytes <= 0 || bytes > kMaxBodyBytes) bytes = kMaxBodyBytes;
    return curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, bytes);
}

}  // namespace curl_easy
