#include "transfer/curl_easy.h"

namespace curl_easy {

// The server's certificate and host name are verified on every request.
int ApplySecurityOptions(CURL* handle) {
    int code = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    code |= curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    return code;
}

}  // namespace curl_easy
