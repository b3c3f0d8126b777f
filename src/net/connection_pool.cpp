#include "net/connection_pool.h"

#include <utility>

namespace obs_sayline {

ConnectionPool::ConnectionPool() {
    // The share needs libcurl's global state, which the first client sets up.
    curl::ensureGlobalInit();
    share_.reset(curl_share_init());
    if (!share_) return;  // every handle then keeps its own caches
    CURLSH* share = share_.get();
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &ConnectionPool::lockData);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &ConnectionPool::unlockData);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

ConnectionPool::~ConnectionPool() {
    // Closes every idle connection; the handles must be gone before the share.
    idle_.clear();
    share_.reset();
}

// libcurl asks for one kind of data at a time and never nests a kind, so one plain mutex per
// kind is enough; shared (read) access is taken as exclusive.
void ConnectionPool::lockData(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    const int kind = static_cast<int>(data);
    if (kind >= 0 && kind < CURL_LOCK_DATA_LAST) {
        static_cast<ConnectionPool*>(user)->shareLocks_[static_cast<size_t>(kind)].lock();
    }
}

void ConnectionPool::unlockData(CURL*, curl_lock_data data, void* user) {
    const int kind = static_cast<int>(data);
    if (kind >= 0 && kind < CURL_LOCK_DATA_LAST) {
        static_cast<ConnectionPool*>(user)->shareLocks_[static_cast<size_t>(kind)].unlock();
    }
}

void ConnectionPool::takeExpired(Clock::time_point now, std::vector<curl::EasyHandle>& expired) {
    size_t keep = 0;
    while (keep < idle_.size() && now - idle_[keep].since >= kMaxIdle) ++keep;
    for (size_t i = 0; i < keep; ++i) expired.push_back(std::move(idle_[i].handle));
    idle_.erase(idle_.begin(), idle_.begin() + static_cast<std::ptrdiff_t>(keep));
}

ConnectionPool::Handle ConnectionPool::acquire() {
    std::vector<curl::EasyHandle> expired;  // closed after the lock is released
    curl::EasyHandle handle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        takeExpired(Clock::now(), expired);
        if (!idle_.empty()) {
            // The most recently used one: its connection is the least likely to be gone.
            handle = std::move(idle_.back().handle);
            idle_.pop_back();
        }
    }
    expired.clear();
    if (!handle) {
        handle.reset(curl_easy_init());
        if (!handle) return Handle(nullptr, GiveBack{this});
        if (share_) curl_easy_setopt(handle.get(), CURLOPT_SHARE, share_.get());
    }
    return Handle(handle.release(), GiveBack{this});
}

void ConnectionPool::GiveBack::operator()(CURL* handle) const noexcept {
    if (pool) {
        pool->giveBack(handle);
    } else {
        curl_easy_cleanup(handle);
    }
}

void ConnectionPool::giveBack(CURL* raw) noexcept {
    curl::EasyHandle handle(raw);
    // Drops every option of the finished attempt (its header list, body, callbacks and their
    // data) but keeps the connection, and the share.
    curl_easy_reset(raw);
    std::vector<curl::EasyHandle> closing;  // closed after the lock is released
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        takeExpired(now, closing);
        idle_.push_back({std::move(handle), now});
        if (idle_.size() > kMaxIdleHandles) {
            closing.push_back(std::move(idle_.front().handle));
            idle_.erase(idle_.begin());
        }
    } catch (...) {
        // Out of memory: the handle (still owned here when push_back failed) is closed.
    }
}

}  // namespace obs_sayline
