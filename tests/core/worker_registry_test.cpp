#include "core/worker_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

#include "support/host_log_capture.h"
#include "support/module_workers.h"

namespace obs_sayline {
namespace {

using namespace std::chrono_literals;
using test::HostLogCapture;

class WorkerRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { test::joinModuleWorkers(); }
};

TEST_F(WorkerRegistryTest, a_worker_sees_its_own_token_and_unload_cancels_and_joins_it) {
    std::atomic<bool> sawToken{false};
    std::atomic<bool> finished{false};
    auto token = WorkerRegistry::instance().start("sleeper", [&] {
        sawToken = currentCancelToken() != nullptr;
        // A long back-off that unload must cut short.
        EXPECT_FALSE(cancellableSleep(60s));
        finished = true;
    });
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(currentCancelToken(), nullptr);  // the test's own thread has none

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(WorkerRegistry::instance().shutdown(2s), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_TRUE(token->cancelled());
    EXPECT_TRUE(sawToken);
    EXPECT_TRUE(finished);  // joined before shutdown returned
    EXPECT_EQ(WorkerRegistry::instance().running(), 0u);
}

TEST_F(WorkerRegistryTest, after_unload_no_worker_starts_until_the_module_loads_again) {
    WorkerRegistry::instance().shutdown(2s);
    std::atomic<int> runs{0};
    EXPECT_EQ(WorkerRegistry::instance().start("late", [&] { ++runs; }), nullptr);
    WorkerRegistry::instance().reopen();
    EXPECT_NE(WorkerRegistry::instance().start("again", [&] { ++runs; }), nullptr);
    EXPECT_TRUE(WorkerRegistry::instance().waitIdle(2s));
    EXPECT_EQ(runs, 1);
}

TEST_F(WorkerRegistryTest, a_worker_that_will_not_stop_is_counted_and_left_behind) {
    std::atomic<bool> release{false};
    WorkerRegistry::instance().start("stubborn", [&] {
        while (!release) std::this_thread::sleep_for(5ms);  // ignores its token
    });
    EXPECT_EQ(WorkerRegistry::instance().shutdown(100ms), 1u);
    release = true;
    EXPECT_TRUE(WorkerRegistry::instance().waitIdle(2s));
}

TEST_F(WorkerRegistryTest, an_exception_out_of_a_worker_is_logged_with_its_name) {
    HostLogCapture::instance().clear();
    WorkerRegistry::instance().start("thrower", [] { throw std::runtime_error("boom"); });
    EXPECT_TRUE(WorkerRegistry::instance().waitIdle(2s));
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [Worker] Exception in thrower: boom"));
}

}  // namespace
}  // namespace obs_sayline
