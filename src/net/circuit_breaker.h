#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace obs_sayline {

struct CircuitBreakerConfig {
    int32_t failureThreshold = 5;
    int32_t successThreshold = 2;
    int32_t openDurationMs = 30000;
    bool enabled = true;
};

enum class CircuitState : int32_t { Closed = 0, Open = 1, HalfOpen = 2 };

const char* circuitStateName(CircuitState state) noexcept;

// Counts calls that finally failed in the transport; rejects calls while open. Its mutex is
// held only for the check and the record steps, never during a transfer or a sleep.
class CircuitBreaker {
public:
    explicit CircuitBreaker(const CircuitBreakerConfig& config);

    bool enabled() const { return config_.enabled; }
    // False when the call must be rejected now; moves Open -> HalfOpen once the open time passed.
    bool allowRequest();
    void recordFailure();
    void recordSuccess();

    CircuitState state() const { return state_.load(); }
    // While open: how long calls are still refused (0 once a trial call may pass). 0 otherwise.
    std::chrono::milliseconds openRemaining();
    int32_t failureCount() const { return failureCount_.load(); }
    int32_t successCount() const { return successCount_.load(); }

private:
    void moveTo(CircuitState next);  // caller holds mutex_

    CircuitBreakerConfig config_;
    std::atomic<CircuitState> state_{CircuitState::Closed};
    std::atomic<int32_t> failureCount_{0};
    std::atomic<int32_t> successCount_{0};
    std::chrono::steady_clock::time_point lastFailureTime_;
    std::mutex mutex_;
};

}  // namespace obs_sayline
