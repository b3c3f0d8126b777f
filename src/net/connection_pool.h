#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "net/curl_handles.h"

namespace obs_sayline {

// Keeps one HttpClient's connections open between requests.
//
// libcurl keeps a finished transfer's connection in the easy handle that made it, and reuses it
// for the next transfer on that handle. So the pool keeps the idle handles and lends every
// attempt one of them for itself (reset to defaults, so no option of an earlier request
// carries over), or a new one when all are busy. DNS results and TLS sessions are shared
// between the handles through one share object, so a second, concurrent connection to the same
// service resumes the TLS session instead of a full handshake. The connection cache itself is
// not put in the share: libcurl does not support a shared connection cache used by concurrent
// threads, and execute() runs on several.
class ConnectionPool {
public:
    // A connection idle this long is not used again (libcurl closes it on the next transfer);
    // a handle idle this long is closed with its connection.
    static constexpr std::chrono::seconds kMaxIdle{60};
    // Idle handles kept for concurrent callers; one returned beyond this is closed.
    static constexpr size_t kMaxIdleHandles = 4;

    struct GiveBack {
        ConnectionPool* pool = nullptr;
        void operator()(CURL* handle) const noexcept;
    };
    // A handle lent to one attempt; goes back to the pool when released. The attempt's
    // header list and MIME body must outlive it (the return resets the options naming them).
    using Handle = std::unique_ptr<CURL, GiveBack>;

    ConnectionPool();
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // Null when libcurl cannot make a handle.
    Handle acquire();

private:
    using Clock = std::chrono::steady_clock;
    struct Idle {
        curl::EasyHandle handle;
        Clock::time_point since;
    };

    void giveBack(CURL* handle) noexcept;
    // Moves handles idle for kMaxIdle or longer into `expired`; mutex_ held.
    void takeExpired(Clock::time_point now, std::vector<curl::EasyHandle>& expired);

    static void lockData(CURL*, curl_lock_data data, curl_lock_access, void* user);
    static void unlockData(CURL*, curl_lock_data data, void* user);

    // Destroyed in reverse order: the idle handles leave the share before it is cleaned up,
    // and the share's locks outlive the share.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> shareLocks_;
    curl::ShareHandle share_;
    std::mutex mutex_;
    std::vector<Idle> idle_;  // oldest first
};

}  // namespace obs_sayline
