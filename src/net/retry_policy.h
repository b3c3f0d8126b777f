#pragma once

#include <cstdint>
#include <vector>

namespace obs_sayline {

enum class BackoffStrategy : int32_t { None = 0, Fixed = 1, Exponential = 2, Linear = 3 };

struct RetryPolicy {
    BackoffStrategy strategy = BackoffStrategy::Exponential;
    int32_t maxRetries = 3;  // so at most 4 attempts
    int32_t initialDelayMs = 100;
    int32_t maxDelayMs = 10000;
    double multiplier = 2.0;
    double jitter = 0.1;  // fraction of the delay
    std::vector<int32_t> retryableStatuses{429, 500, 502, 503, 504};
    bool retryOnNetworkError = true;
    bool retryOnTimeout = true;

    // Exactly the defaults above.
    static RetryPolicy defaultPolicy();
    // One quick retry after a fixed 50 ms, no jitter.
    static RetryPolicy quickPolicy();
};

// Milliseconds to wait before retry n (n = 0 precedes the second attempt). Jitter draws from a
// generator owned by the calling thread.
int32_t retryDelayMs(const RetryPolicy& policy, int32_t retryIndex);

}  // namespace obs_sayline
