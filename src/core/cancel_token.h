#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace obs_sayline {

// A flag that a worker's owner raises to make the worker stop early: transfers and back-off
// sleeps on that worker check it and give up (a transfer then ends as Cancelled).
class CancelToken {
public:
    void cancel();
    bool cancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }

    // Sleeps for up to `duration`; false when the token was (or got) cancelled first.
    bool sleepFor(std::chrono::milliseconds duration) const;

private:
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
};

// The token of the module worker the caller runs on; null on every other thread (the host's
// own threads, the tests' threads).
const CancelToken* currentCancelToken() noexcept;

// True when the calling thread's worker was told to stop.
inline bool currentWorkCancelled() noexcept {
    const CancelToken* token = currentCancelToken();
    return token && token->cancelled();
}

// Sleeps on the current worker's token when there is one, plainly otherwise; false when
// cancelled.
bool cancellableSleep(std::chrono::milliseconds duration);

// Makes `token` the calling thread's current token until the scope ends.
class ScopedCancelToken {
public:
    explicit ScopedCancelToken(std::shared_ptr<const CancelToken> token);
    ~ScopedCancelToken();
    ScopedCancelToken(const ScopedCancelToken&) = delete;
    ScopedCancelToken& operator=(const ScopedCancelToken&) = delete;

private:
    std::shared_ptr<const CancelToken> token_;
    const CancelToken* previous_;
};

}  // namespace obs_sayline
