#include "core/worker_registry.h"

#include <exception>
#include <vector>

#include "core/logger.h"

namespace obs_sayline {

WorkerRegistry& WorkerRegistry::instance() {
    // Never destroyed: a worker that outlived a bounded shutdown still reports to it.
    static WorkerRegistry* registry = new WorkerRegistry();
    return *registry;
}

void WorkerRegistry::reapFinishedLocked(std::list<Worker>& reaped) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->finished) {
            auto next = std::next(it);
            reaped.splice(reaped.end(), workers_, it);
            it = next;
        } else {
            ++it;
        }
    }
}

std::shared_ptr<CancelToken> WorkerRegistry::start(const char* name,
                                                   std::function<void()> body) noexcept {
    std::list<Worker> reaped;
    std::shared_ptr<CancelToken> token;
    try {
        std::unique_lock<std::mutex> lock(mutex_);
        reapFinishedLocked(reaped);
        if (closed_) {
            lock.unlock();
            logWarning("Worker %s not started: the module is unloading", name);
            for (auto& w : reaped) w.thread.join();
            return nullptr;
        }
        token = std::make_shared<CancelToken>();
        workers_.emplace_back();
        auto self = std::prev(workers_.end());
        self->name = name;
        self->token = token;
        try {
            self->thread = std::thread([this, self, token, body = std::move(body)] {
                {
                    ScopedCancelToken current(token);
                    try {
                        body();
                    } catch (const std::exception& e) {
                        logErrorTag("Worker", "Exception in %s: %s", self->name.c_str(),
                                    e.what());
                    } catch (...) {
                        logErrorTag("Worker", "Unknown exception in %s", self->name.c_str());
                    }
                }
                std::lock_guard<std::mutex> done(mutex_);
                self->finished = true;
                changed_.notify_all();
            });
        } catch (...) {
            workers_.erase(self);
            throw;
        }
    } catch (const std::exception& e) {
        logErrorTag("Worker", "Failed to start %s: %s", name, e.what());
        token.reset();
    } catch (...) {
        token.reset();
    }
    // Joined outside the lock: a finished thread may still be returning from its last unlock.
    for (auto& w : reaped) {
        if (w.thread.joinable()) w.thread.join();
    }
    return token;
}

size_t WorkerRegistry::shutdown(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::list<Worker> done;
    size_t left = 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        closed_ = true;
        for (auto& w : workers_) w.token->cancel();
        changed_.wait_until(lock, deadline, [this] {
            for (const auto& w : workers_) {
                if (!w.finished) return false;
            }
            return true;
        });
        reapFinishedLocked(done);
        for (auto& w : workers_) {
            // Still inside a call we cannot interrupt; it keeps only this registry, which
            // lives on.
            if (w.thread.joinable()) w.thread.detach();
            ++left;
        }
    }
    for (auto& w : done) {
        if (w.thread.joinable()) w.thread.join();
    }
    return left;
}

void WorkerRegistry::reopen() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = false;
}

size_t WorkerRegistry::running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t count = 0;
    for (const auto& w : workers_) {
        if (!w.finished) ++count;
    }
    return count;
}

bool WorkerRegistry::waitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] {
        for (const auto& w : workers_) {
            if (!w.finished) return false;
        }
        return true;
    });
}

}  // namespace obs_sayline
