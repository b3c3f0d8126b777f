#include "net/circuit_breaker.h"

#include "core/logger.h"

namespace obs_sayline {

const char* circuitStateName(CircuitState state) noexcept {
    switch (state) {
        case CircuitState::Closed:
            return "Closed";
        case CircuitState::Open:
            return "Open";
        case CircuitState::HalfOpen:
            return "HalfOpen";
    }
    return "Unknown";
}

CircuitBreaker::CircuitBreaker(const CircuitBreakerConfig& config)
    : config_(config), lastFailureTime_(std::chrono::steady_clock::now()) {}

bool CircuitBreaker::allowRequest() {
    if (!config_.enabled) return true;
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.load() != CircuitState::Open) return true;
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - lastFailureTime_)
                       .count();
    if (elapsed < config_.openDurationMs) return false;
    moveTo(CircuitState::HalfOpen);
    return true;
}

std::chrono::milliseconds CircuitBreaker::openRemaining() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.load() != CircuitState::Open) return std::chrono::milliseconds(0);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - lastFailureTime_);
    const auto remaining = std::chrono::milliseconds(config_.openDurationMs) - elapsed;
    return remaining.count() > 0 ? remaining : std::chrono::milliseconds(0);
}

void CircuitBreaker::recordFailure() {
    if (!config_.enabled) return;
    std::lock_guard<std::mutex> lock(mutex_);
    lastFailureTime_ = std::chrono::steady_clock::now();
    switch (state_.load()) {
        case CircuitState::HalfOpen:
            moveTo(CircuitState::Open);
            break;
        case CircuitState::Closed:
            if (failureCount_.fetch_add(1) + 1 >= config_.failureThreshold) {
                moveTo(CircuitState::Open);
            }
            break;
        case CircuitState::Open:
            break;
    }
}

void CircuitBreaker::recordSuccess() {
    if (!config_.enabled) return;
    std::lock_guard<std::mutex> lock(mutex_);
    switch (state_.load()) {
        case CircuitState::HalfOpen:
            if (successCount_.fetch_add(1) + 1 >= config_.successThreshold) {
                moveTo(CircuitState::Closed);
            }
            break;
        case CircuitState::Closed:
            failureCount_.store(0);
            break;
        case CircuitState::Open:
            break;
    }
}

void CircuitBreaker::moveTo(CircuitState next) {
    CircuitState previous = state_.exchange(next);
    if (previous == next) return;
    logInfo("[HTTP] Circuit breaker: %s -> %s", circuitStateName(previous), circuitStateName(next));
    // Entering Open keeps the counts; the other states start counting afresh.
    if (next != CircuitState::Open) {
        failureCount_.store(0);
        successCount_.store(0);
    }
}

}  // namespace obs_sayline
