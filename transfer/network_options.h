#pragma once
// How long a request may take and which route it goes. Every transfer (the
// package's probes and bodies, the analytics uploads) is bounded: a connection
// must be made in time, a body that slows to a trickle ends the attempt, and a
// probe has a deadline of its own, so no request can wait for ever.
#include <curl/curl.h>

#include <cstdint>
#include <string>

namespace curl_easy {

struct NetworkLimits {
    long connectTimeoutSec = 60;
    // A transfer slower than lowSpeedBytes per second for lowSpeedTimeSec
    // seconds has stalled: libcurl ends it with CURLE_OPERATION_TIMEDOUT.
    long lowSpeedBytes = 1024;
    long lowSpeedTimeSec = 30;
    // The whole of a HEAD probe (connect, request, reply headers).
    long probeTimeoutSec = 60;
    // TCP keep-alive probes on idle connections.
    long keepIdleSec = 10;
    long keepIntervalSec = 10;
};

// Connect timeout, low-speed limit and keep-alive. Returns the OR of the codes.
int ApplyNetworkOptions(CURL* handle, const NetworkLimits& limits);
// The total deadline of a probe (CURLOPT_TIMEOUT).
int ApplyProbeDeadline(CURL* handle, const NetworkLimits& limits);

// A failure worth a pause before the next attempt, because the server or the
// network may recover: no connection, a connection broken while sending or
// receiving, nothing received, or a 5xx reply (status of the last reply, 0
// when none).
bool IsTransientFailure(int code, long status);
// The pause before the next attempt after the count-th transient failure in a
// row (count from 1): 1, 2, 4, 8, 8, ... units.
uint32_t BackoffMs(int count, uint32_t unitMs);

// What a resumed request sends as If-Range, from a finished reply: its strong
// ETag, else its Last-Modified; "" when it has neither.
std::string ResumeValidator(CURL* handle);

// The route to url: the system's proxy for it, or a direct connection (an
// explicit empty proxy, so that nothing else chooses one). Returns the proxy
// used ("" direct).
std::string ApplyRoute(CURL* handle, const std::string& url);
// Performs a transfer set up on handle for url over its route; when the proxy
// cannot be reached (no connection to it, its name unknown) the transfer is
// made once more without it, and for the next minutes requests skip that
// proxy.
CURLcode PerformRouted(CURL* handle, const std::string& url);

}  // namespace curl_easy
