#pragma once

#include <string>
#include <vector>

#include "net/http_client.h"
#include "support/host_log_capture.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {

// The capture must exist before libcurl's global state (made by the first client), so that it
// is destroyed after it and still receives the "CURL cleaned up" line at exit.
inline HostLogCapture& gEarlyCapture = HostLogCapture::instance();

// A policy whose retries are cheap: fixed 5 ms delays, no jitter, default statuses and flags.
inline RetryPolicy fastPolicy(int32_t maxRetries = 3) {
    RetryPolicy policy;
    policy.strategy = BackoffStrategy::Fixed;
    policy.maxRetries = maxRetries;
    policy.initialDelayMs = 5;
    policy.jitter = 0.0;
    return policy;
}

inline HttpClientConfig fastConfig(int32_t maxRetries = 3) {
    HttpClientConfig config;
    config.retryPolicy = fastPolicy(maxRetries);
    return config;
}

// Module lines on the captured host log that start with `prefix` (after "[obs-sayline] ").
inline std::vector<std::string> moduleLinesStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    const std::string full = "[obs-sayline] " + prefix;
    for (const auto& line : HostLogCapture::instance().lines()) {
        if (line.text.rfind(full, 0) == 0) out.push_back(line.text);
    }
    return out;
}

}  // namespace obs_sayline::test
