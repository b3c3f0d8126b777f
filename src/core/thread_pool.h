#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace obs_sayline {

// Fixed set of workers running short jobs. Higher priorities run first; equal priorities run
// in submission order. A stopping pool still runs every job already queued.
class ThreadPool {
public:
    // threadCount 0: one worker per hardware thread (4 when the hardware does not say).
    // maxQueueSize 0: unbounded.
    explicit ThreadPool(size_t threadCount = 0, size_t maxQueueSize = 0);
    ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Throws std::runtime_error when the pool is shutting down or the queue is full; nothing is
    // queued then. An exception thrown by the job is rethrown by the future's get().
    std::future<void> submit(int32_t priority, std::function<void()> job);

    // Stops accepting work. wait: join the workers (they drain the queue first); otherwise
    // detach them, and they finish the queue on their own. A second call does nothing.
    void shutdown(bool wait = true);

    size_t threadCount() const { return threadCount_; }
    size_t maxQueueSize() const { return maxQueueSize_; }
    size_t queuedTasks() const;
    bool isStopping() const;

private:
    struct Shared;

    size_t threadCount_;
    size_t maxQueueSize_;
    // Workers hold their own reference, so detached workers never outlive the queue they use.
    std::shared_ptr<Shared> shared_;
    std::vector<std::thread> workers_;
};

}  // namespace obs_sayline
