#include "core/cancel_token.h"

#include <thread>

namespace obs_sayline {
namespace {
thread_local const CancelToken* tCurrentToken = nullptr;
}  // namespace

void CancelToken::cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
}

bool CancelToken::sleepFor(std::chrono::milliseconds duration) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, duration, [this] { return cancelled(); });
}

const CancelToken* currentCancelToken() noexcept { return tCurrentToken; }

bool cancellableSleep(std::chrono::milliseconds duration) {
    if (const CancelToken* token = currentCancelToken()) return token->sleepFor(duration);
    std::this_thread::sleep_for(duration);
    return true;
}

ScopedCancelToken::ScopedCancelToken(std::shared_ptr<const CancelToken> token)
    : token_(std::move(token)), previous_(tCurrentToken) {
    tCurrentToken = token_.get();
}

ScopedCancelToken::~ScopedCancelToken() { tCurrentToken = previous_; }

}  // namespace obs_sayline
