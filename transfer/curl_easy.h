#pragma once
// The libcurl pieces every request shares (the package's probes and
// transfers, the analytics uploads): owning handles, the transfer policy, the
// HEAD request that learns a package's real URL and length, the replies'
// facts, libcurl's error texts and the retry budget of a failing transfer.
#include <curl/curl.h>

#include <memory>
#include <string>

#include "transfer/network_options.h"

namespace curl_easy {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// A fresh easy handle; null when libcurl cannot make one.
inline EasyHandle NewHandle() { return EasyHandle(curl_easy_init()); }

// The policy of every request, in one place: only HTTP and HTTPS are spoken,
// a transfer begun over HTTPS stays on HTTPS through at most 10 redirects,
// the server's certificate and host name are verified and a body may not be
// longer than 4 GiB (the package is run elevated, uploads carry the
// installation's identity); and the network limits (connect timeout,
// low-speed limit, keep-alive). url is the URL the request starts at (it
// decides whether redirects may leave HTTPS). Returns the OR of the set-up
// codes.
int ApplyTransferPolicy(CURL* handle, const std::string& url, const NetworkLimits& limits = NetworkLimits{});

constexpr long kMaxRedirects = 10;
constexpr curl_off_t kMaxBodyBytes = curl_off_t(4) * 1024 * 1024 * 1024;
// Lowers the largest body a transfer accepts to bytes (a length learnt from
// the HEAD reply); bytes <= 0 or above kMaxBodyBytes gives kMaxBodyBytes.
int LimitBodySize(CURL* handle, curl_off_t bytes);

// The policy's two halves, each in a file of its own: what a server must prove
// and what it may send (security_options.cpp), and how long a request may take
// and which route it goes (network_options.h).
int ApplySecurityOptions(CURL* handle, const std::string& url);

// Sets handle up for a HEAD request of url under the transfer policy: no body,
// redirects followed when followRedirects, the probe's deadline. Returns the
// OR of the set-up codes.
int SetUpHead(CURL* handle, const std::string& url, bool followRedirects = true,
              const NetworkLimits& limits = NetworkLimits{});

// The URL the last transfer ended at ("" when unknown).
std::string EffectiveUrl(CURL* handle);
// The announced body length of a finished transfer; -1.0 when none was given.
CURLcode ContentLength(CURL* handle, double& length);

// libcurl's text for a code, as wide text.
std::wstring CurlText(int code);
// A URL as libcurl takes it: a local-file URL names a path on this machine
// (the active code page), anything else is UTF-8.
std::string NarrowUrl(const std::wstring& url);

// Write callback that takes and drops everything.
size_t Discard(char* data, size_t size, size_t count, void* user);

// What failed attempts of one transfer may cost before it is given up: a
// truncated transfer (resumable) costs 1, any other failure 2, of 12.
class RetryBudget {
public:
    void Charge(int code) { m_left -= code == CURLE_PARTIAL_FILE ? 1 : 2; }
    bool Exhausted() const { return m_left <= 0; }

private:
    int m_left = 12;
};

}  // namespace curl_easy
