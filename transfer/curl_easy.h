#pragma once
// The libcurl pieces every request shares (the package's probes and
// transfers, the analytics uploads): owning handles, the transfer policy, the
// HEAD request that learns a package's real URL and length, the replies'
// facts, libcurl's error texts and the retry budget of a failing transfer.
#include <curl/curl.h>

#include <memory>
#include <string>

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

// The policy of every request, in one place: the connection must be made
// within 60 s and the server's certificate and host name are verified (the
// package is run elevated, uploads carry the installation's identity).
// At most kMaxRedirects redirects are followed. Returns the OR of the set-up
// codes.
constexpr long kMaxRedirects = 10;
int ApplyTransferPolicy(CURL* handle);

// The policy's two halves, each in a file of its own: what a server must prove
// and what it may send (security_options.cpp), and how long a request may take
// and which route it goes (network_options.cpp).
int ApplySecurityOptions(CURL* handle);
int ApplyNetworkOptions(CURL* handle);

// Sets handle up for a HEAD request of url under the transfer policy: no body,
// redirects followed when followRedirects. Returns the OR of the set-up codes.
int SetUpHead(CURL* handle, const std::string& url, bool followRedirects = true);

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
