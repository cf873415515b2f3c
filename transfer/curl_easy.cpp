#include "transfer/curl_easy.h"

#include "utils/text.h"

namespace curl_easy {

int ApplyTransferPolicy(CURL* handle) {
    // A server that redirects in a circle would otherwise be followed without
    // end (this libcurl sets no limit of its own); the package's real URL is
    // one redirect away.
    int code = curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    return code | ApplySecurityOptions(handle) | ApplyNetworkOptions(handle);
}

int SetUpHead(CURL* handle, const std::string& url, bool followRedirects) {
    int code = curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (followRedirects) code |= curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    code |= curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    code |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Discard);
    code |= ApplyTransferPolicy(handle);
    return code;
}

std::string EffectiveUrl(CURL* handle) {
    char* effective = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective) return {};
    return effective;
}

CURLcode ContentLength(CURL* handle, double& length) {
    curl_off_t value = -1;
    CURLcode code = curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value);
    length = code == CURLE_OK && value >= 0 ? static_cast<double>(value) : -1.0;
    return code;
}

std::wstring CurlText(int code) { return Utils::Utf8ToWide(curl_easy_strerror(static_cast<CURLcode>(code))); }

std::string NarrowUrl(const std::wstring& url) {
    if (url.rfind(L"file:///", 0) == 0) return Utils::WideToAnsi(url);
    return Utils::WideToUtf8(url);
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace curl_easy
