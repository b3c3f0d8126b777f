#include "net/retry_policy.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>

namespace obs_sayline {

namespace {

// Uniform in [0, 1) from 53 random bits, drawn from this thread's own generator.
double unitRandom() {
    thread_local std::mt19937 generator{std::random_device{}()};
    uint32_t high = generator() >> 5;  // 27 bits
    uint32_t low = generator() >> 6;   // 26 bits
    return (static_cast<double>(high) * 67108864.0 + static_cast<double>(low)) / 9007199254740992.0;
}

// Truncates toward zero, saturating instead of overflowing for huge back-off values.
int64_t truncateSaturated(double value) {
    constexpr double kMax = static_cast<double>(std::numeric_limits<int32_t>::max());
    constexpr double kMin = static_cast<double>(std::numeric_limits<int32_t>::min());
    if (!(value == value)) return 0;
    if (value >= kMax) return std::numeric_limits<int32_t>::max();
    if (value <= kMin) return std::numeric_limits<int32_t>::min();
    return static_cast<int64_t>(value);
}

}  // namespace

RetryPolicy RetryPolicy::defaultPolicy() { return RetryPolicy{}; }

RetryPolicy RetryPolicy::quickPolicy() {
    RetryPolicy policy;
    policy.strategy = BackoffStrategy::Fixed;
    policy.maxRetries = 1;
    policy.initialDelayMs = 50;
    policy.maxDelayMs = 100;
    policy.jitter = 0.0;
    return policy;
}

int32_t retryDelayMs(const RetryPolicy& policy, int32_t retryIndex) {
    if (policy.strategy == BackoffStrategy::None || retryIndex < 0) return 0;

    int64_t base;
    switch (policy.strategy) {
        case BackoffStrategy::Exponential: {
            double factor = 1.0;
            for (int32_t i = 0; i < retryIndex; ++i) factor *= policy.multiplier;
            base = truncateSaturated(static_cast<double>(policy.initialDelayMs) * factor);
            break;
        }
        case BackoffStrategy::Linear:
            base = (static_cast<int64_t>(retryIndex) + 1) * policy.initialDelayMs;
            break;
        default:
            base = policy.initialDelayMs;
            break;
    }

    if (policy.jitter > 0.0) {
        double u = unitRandom();
        base = truncateSaturated(static_cast<double>(base) *
                                 (1.0 - policy.jitter + 2.0 * policy.jitter * u));
    }
    return static_cast<int32_t>(std::min<int64_t>(base, policy.maxDelayMs));
}

}  // namespace obs_sayline
