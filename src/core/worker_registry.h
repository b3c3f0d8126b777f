#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/cancel_token.h"

namespace obs_sayline {

// Every thread the module starts is started here, so that unload can tell them all to stop
// and join them before the module's code and static objects go away. Process-wide; never
// destroyed, so a thread left behind by a bounded shutdown still finds it.
class WorkerRegistry {
public:
    static WorkerRegistry& instance();

    // Runs `body` on a new thread whose CancelToken is current while it runs (see
    // currentCancelToken). An exception out of body is logged with the worker's name. Returns
    // the token, or null when the registry is shut down or the thread could not be started
    // (logged; body does not run).
    std::shared_ptr<CancelToken> start(const char* name, std::function<void()> body) noexcept;

    // Cancels every worker and joins them, waiting at most `bound` in all. Workers still
    // running then are left behind (detached) and counted in the return value. Refuses new
    // workers until reopen().
    size_t shutdown(std::chrono::milliseconds bound);

    // Takes workers again (the module was loaded again in the same process).
    void reopen();

    // Workers started and not yet finished.
    size_t running() const;

    // Blocks until no worker runs or `timeout` passes; true when none runs. For tests.
    bool waitIdle(std::chrono::milliseconds timeout) const;

private:
    WorkerRegistry() = default;

    struct Worker {
        std::string name;
        std::shared_ptr<CancelToken> token;
        std::thread thread;
        bool finished = false;
    };

    void reapFinishedLocked(std::list<Worker>& reaped);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::list<Worker> workers_;
    bool closed_ = false;
};

}  // namespace obs_sayline
