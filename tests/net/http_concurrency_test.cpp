// One client shared by several threads: each call keeps its own transfer, the breaker its count.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "net/http_client.h"
#include "net_test_support.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;

TEST(HttpConcurrencyTest, parallel_calls_get_their_own_replies) {
    HostLogCapture::instance().clear();
    std::atomic<int> hits{0};
    LoopbackServer server;
    server.onAny([&](const httplib::Request& req, httplib::Response& res) {
        // Every third call answers 503 once, so retries interleave with first attempts.
        if (++hits % 3 == 0) {
            res.status = 503;
            return;
        }
        res.set_content(req.body, "text/plain");
    });
    ASSERT_TRUE(server.start());

    HttpClient client(test::fastConfig());
    constexpr int kThreads = 6;
    constexpr int kCalls = 15;
    std::mutex idsMutex;
    std::set<std::string> ids;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                HttpRequest r;
                r.url = server.url("/echo");
                r.method = HttpMethod::POST;
                r.body = "thread " + std::to_string(t) + " call " + std::to_string(i);
                auto result = client.execute(r);
                if (!result.isSuccess() ||
                    (result.value().statusCode == 200 && result.value().body != r.body)) {
                    ++mismatches;
                    continue;
                }
                std::lock_guard<std::mutex> lock(idsMutex);
                ids.insert(result.value().requestId);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(ids.size(), static_cast<size_t>(kThreads * kCalls));
    EXPECT_EQ(client.circuitBreaker().state(), CircuitState::Closed);
}

TEST(HttpConcurrencyTest, parallel_failures_open_the_breaker_once) {
    HostLogCapture::instance().clear();
    HttpClientConfig config = test::fastConfig(0);
    config.circuitBreaker.failureThreshold = 4;
    config.circuitBreaker.openDurationMs = 60000;
    HttpClient client(config);
    const std::string url =
        "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/down";

    std::atomic<int> rejected{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                HttpRequest r;
                r.url = url;
                auto result = client.execute(r);
                if (result.isSuccess()) continue;
                if (result.error().code == ErrorCode::ServiceUnavailable) {
                    ++rejected;
                } else {
                    ++failed;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(client.circuitBreaker().state(), CircuitState::Open);
    EXPECT_GE(failed.load(), 4);
    EXPECT_EQ(failed.load() + rejected.load(), 30);
    EXPECT_EQ(
        HostLogCapture::instance().count("[obs-sayline] [HTTP] Circuit breaker: Closed -> Open"),
        1u);
}

}  // namespace
}  // namespace obs_sayline
