#include "core/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "core/logger.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "ThreadPool";
constexpr size_t kFallbackThreads = 4;

struct Task {
    std::function<void()> run;
    int32_t priority = 0;
    uint64_t sequence = 0;
};

// Heap order: the top is the highest priority, and among equals the oldest.
struct RunsLater {
    bool operator()(const Task& a, const Task& b) const {
        if (a.priority != b.priority) return a.priority < b.priority;
        return a.sequence > b.sequence;
    }
};

}  // namespace

struct ThreadPool::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Task> queue;  // binary max-heap under RunsLater
    std::atomic<uint64_t> nextSequence{0};
    std::atomic<bool> stopping{false};

    void workerLoop() {
        for (;;) {
            Task task;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return stopping.load() || !queue.empty(); });
                if (queue.empty()) return;  // stopping and drained
                std::pop_heap(queue.begin(), queue.end(), RunsLater{});
                task = std::move(queue.back());
                queue.pop_back();
            }
            try {
                task.run();
            } catch (const std::exception& e) {
                logErrorTag(kTag, "Task exception: %s", e.what());
            } catch (...) {
                logErrorTag(kTag, "Task unknown exception");
            }
        }
    }
};

ThreadPool::ThreadPool(size_t threadCount, size_t maxQueueSize)
    : threadCount_(threadCount), maxQueueSize_(maxQueueSize), shared_(std::make_shared<Shared>()) {
    if (threadCount_ == 0) {
        threadCount_ = std::thread::hardware_concurrency();
        if (threadCount_ == 0) threadCount_ = kFallbackThreads;
    }
    workers_.reserve(threadCount_);
    try {
        for (size_t i = 0; i < threadCount_; ++i) {
            workers_.emplace_back([shared = shared_] { shared->workerLoop(); });
        }
    } catch (...) {
        // Joinable threads left in the vector would terminate the process when it unwinds.
        shutdown(true);
        throw;
    }
    logDebugTag(kTag, "Thread pool started with %zu threads", threadCount_);
}

ThreadPool::~ThreadPool() { shutdown(true); }

std::future<void> ThreadPool::submit(int32_t priority, std::function<void()> job) {
    auto packaged = std::make_shared<std::packaged_task<void()>>(std::move(job));
    std::future<void> future = packaged->get_future();
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->stopping.load()) {
            throw std::runtime_error("Cannot submit to shutdown thread pool");
        }
        if (maxQueueSize_ != 0 && shared_->queue.size() >= maxQueueSize_) {
            throw std::runtime_error("Thread pool queue is full");
        }
        Task task;
        task.run = [packaged] { (*packaged)(); };
        task.priority = priority;
        task.sequence = shared_->nextSequence.fetch_add(1);
        shared_->queue.push_back(std::move(task));
        std::push_heap(shared_->queue.begin(), shared_->queue.end(), RunsLater{});
    }
    shared_->wake.notify_one();
    return future;
}

void ThreadPool::shutdown(bool wait) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->stopping.load()) return;
        shared_->stopping.store(true);
    }
    shared_->wake.notify_all();

    const auto self = std::this_thread::get_id();
    for (auto& worker : workers_) {
        if (!worker.joinable()) continue;
        // A job that shuts its own pool down cannot join its own thread.
        if (wait && worker.get_id() != self) {
            worker.join();
        } else {
            worker.detach();
        }
    }
    workers_.clear();
    logDebugTag(kTag, "Thread pool shutdown");
}

size_t ThreadPool::queuedTasks() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->queue.size();
}

bool ThreadPool::isStopping() const { return shared_->stopping.load(); }

}  // namespace obs_sayline
