#include "transfer/curl_easy.h"

namespace curl_easy {

// The connection must be made within 60 s.
int ApplyNetworkOptions(CURL* handle) { return curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 60L); }

}  // namespace curl_easy
