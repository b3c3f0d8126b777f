#include "core/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

// Occupies one worker until released, so later submissions stay queued.
class Blocker {
public:
    explicit Blocker(ThreadPool& pool) {
        done_ = pool.submit(100, [this] {
            started_.set_value();
            release_.get_future().wait();
        });
        started_.get_future().wait();
    }
    void release() { release_.set_value(); }
    void wait() { done_.get(); }

private:
    std::promise<void> started_;
    std::promise<void> release_;
    std::future<void> done_;
};

std::string submitError(ThreadPool& pool) {
    try {
        pool.submit(1, [] {});
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(ThreadPoolTest, higher_priority_first_then_submission_order) {
    ThreadPool pool(1);
    Blocker blocker(pool);

    std::mutex mutex;
    std::vector<std::string> order;
    auto record = [&](const char* name) {
        return [&, name] {
            std::lock_guard<std::mutex> lock(mutex);
            order.push_back(name);
        };
    };
    auto a = pool.submit(1, record("first-1"));
    auto b = pool.submit(5, record("prio-5"));
    auto c = pool.submit(1, record("second-1"));
    auto d = pool.submit(-3, record("negative"));
    EXPECT_EQ(pool.queuedTasks(), 4u);

    blocker.release();
    a.get();
    b.get();
    c.get();
    d.get();
    EXPECT_EQ(order, (std::vector<std::string>{"prio-5", "first-1", "second-1", "negative"}));
}

TEST(ThreadPoolTest, full_queue_refuses_and_queues_nothing) {
    ThreadPool pool(1, 2);
    EXPECT_EQ(pool.maxQueueSize(), 2u);
    Blocker blocker(pool);

    std::atomic<int> ran{0};
    pool.submit(1, [&] { ++ran; });
    pool.submit(1, [&] { ++ran; });
    EXPECT_EQ(submitError(pool), "Thread pool queue is full");
    EXPECT_EQ(pool.queuedTasks(), 2u);

    blocker.release();
    pool.shutdown(true);
    EXPECT_EQ(ran.load(), 2);
}

TEST(ThreadPoolTest, job_exception_reaches_future_and_worker_goes_on) {
    // Held until the workers are joined: libstdc++ frees exceptions through atomics that
    // ThreadSanitizer cannot see, so the last owner should be this thread.
    std::exception_ptr caught;
    {
        ThreadPool pool(1);
        auto failing = pool.submit(1, [] { throw std::logic_error("job failed"); });
        try {
            failing.get();
        } catch (...) {
            caught = std::current_exception();
        }
        std::atomic<bool> ran{false};
        pool.submit(1, [&] { ran = true; }).get();
        EXPECT_TRUE(ran.load());
        pool.shutdown(true);
    }
    ASSERT_TRUE(caught);
    try {
        std::rethrow_exception(caught);
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "job failed");
    }
}

TEST(ThreadPoolTest, shutdown_drains_queue_then_refuses_and_logs_once) {
    HostLogCapture::instance().clear();
    std::atomic<int> ran{0};
    {
        ThreadPool pool(2);
        EXPECT_EQ(pool.threadCount(), 2u);
        for (int i = 0; i < 50; ++i) {
            pool.submit(i % 3, [&] {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                ++ran;
            });
        }
        pool.shutdown(true);
        EXPECT_EQ(ran.load(), 50);
        EXPECT_TRUE(pool.isStopping());
        EXPECT_EQ(submitError(pool), "Cannot submit to shutdown thread pool");

        pool.shutdown(true);
        pool.shutdown(false);
    }  // destructor after shutdown: nothing more
    auto& log = HostLogCapture::instance();
    EXPECT_EQ(log.count("[obs-sayline] [ThreadPool] Thread pool started with 2 threads"), 1u);
    EXPECT_EQ(log.count("[obs-sayline] [ThreadPool] Thread pool shutdown"), 1u);
}

TEST(ThreadPoolTest, zero_threads_means_hardware_count_and_destructor_drains) {
    std::atomic<int> ran{0};
    size_t expected = std::thread::hardware_concurrency();
    if (expected == 0) expected = 4;
    {
        ThreadPool pool(0);
        EXPECT_EQ(pool.threadCount(), expected);
        for (int i = 0; i < 20; ++i) pool.submit(1, [&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 20);
}

TEST(ThreadPoolTest, detached_workers_finish_queue_after_pool_is_gone) {
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::future<void> last;
    {
        ThreadPool pool(1);
        pool.submit(1, [gate] { gate.wait(); });
        last = pool.submit(1, [] {});
        pool.shutdown(false);
    }
    release.set_value();
    EXPECT_EQ(last.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(ThreadPoolTest, job_may_shut_down_its_own_pool) {
    ThreadPool pool(2);
    pool.submit(1, [&] { pool.shutdown(true); }).get();
    EXPECT_TRUE(pool.isStopping());
}

TEST(ThreadPoolTest, submissions_from_many_threads_all_run) {
    ThreadPool pool(2);
    std::atomic<int> ran{0};
    std::vector<std::thread> submitters;
    for (int t = 0; t < 4; ++t) {
        submitters.emplace_back([&] {
            for (int i = 0; i < 100; ++i) pool.submit(i % 4, [&] { ++ran; });
        });
    }
    for (auto& t : submitters) t.join();
    pool.shutdown(true);
    EXPECT_EQ(ran.load(), 400);
}

}  // namespace
}  // namespace obs_sayline
