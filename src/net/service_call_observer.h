#pragma once

#include <chrono>
#include <cstdint>

namespace obs_sayline {

// Someone on the calling thread who wants to know, while HttpClient::execute runs, whether a
// call reached its service and, when it did not, when it may get through again: a recognition
// worker that shows its source's state. Set for a scope on one thread; calls on other threads
// tell nobody. Every method is called on the calling thread and must return at once.
class IServiceCallObserver {
public:
    virtual ~IServiceCallObserver() = default;
    // The service answered with this HTTP status (the call's final response).
    virtual void answered(int32_t status) noexcept = 0;
    // An attempt failed in the transport; the next attempt follows after `retryIn`, or none
    // when it is zero.
    virtual void unreachable(std::chrono::milliseconds retryIn) noexcept = 0;
    // The circuit breaker refuses calls for `remaining` more: the call was refused, or its
    // failure opened the breaker.
    virtual void breakerOpen(std::chrono::milliseconds remaining) noexcept = 0;
};

// The observer of the calling thread, or null.
IServiceCallObserver* currentServiceCallObserver() noexcept;

// Makes `observer` the calling thread's observer until the scope ends.
class ScopedServiceCallObserver {
public:
    explicit ScopedServiceCallObserver(IServiceCallObserver& observer) noexcept;
    ~ScopedServiceCallObserver();
    ScopedServiceCallObserver(const ScopedServiceCallObserver&) = delete;
    ScopedServiceCallObserver& operator=(const ScopedServiceCallObserver&) = delete;

private:
    IServiceCallObserver* previous_;
};

}  // namespace obs_sayline
