// The back-off rule and the retry loop of execute, against a real server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <set>

#include "net/http_client.h"
#include "net_test_support.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;

RetryPolicy noJitter(BackoffStrategy strategy, int32_t initial, int32_t maxDelay) {
    RetryPolicy p;
    p.strategy = strategy;
    p.initialDelayMs = initial;
    p.maxDelayMs = maxDelay;
    p.jitter = 0.0;
    return p;
}

TEST(RetryDelayTest, exponential_doubles_and_caps) {
    RetryPolicy p = noJitter(BackoffStrategy::Exponential, 100, 300);
    EXPECT_EQ(retryDelayMs(p, 0), 100);
    EXPECT_EQ(retryDelayMs(p, 1), 200);
    EXPECT_EQ(retryDelayMs(p, 2), 300);
    EXPECT_EQ(retryDelayMs(p, 3), 300);
    p.multiplier = 1.5;
    p.maxDelayMs = 10000;
    EXPECT_EQ(retryDelayMs(p, 3), 337);  // 100 * 3.375, truncated
    // Far past the 32-bit range the delay saturates at the cap instead of overflowing.
    EXPECT_EQ(retryDelayMs(p, 400), 10000);
}

TEST(RetryDelayTest, linear_fixed_and_none) {
    RetryPolicy linear = noJitter(BackoffStrategy::Linear, 100, 10000);
    EXPECT_EQ(retryDelayMs(linear, 0), 100);
    EXPECT_EQ(retryDelayMs(linear, 1), 200);
    EXPECT_EQ(retryDelayMs(linear, 2), 300);
    RetryPolicy fixed = noJitter(BackoffStrategy::Fixed, 70, 10000);
    EXPECT_EQ(retryDelayMs(fixed, 0), 70);
    EXPECT_EQ(retryDelayMs(fixed, 5), 70);
    RetryPolicy none = noJitter(BackoffStrategy::None, 70, 10000);
    EXPECT_EQ(retryDelayMs(none, 2), 0);
    EXPECT_EQ(retryDelayMs(fixed, -1), 0);
}

TEST(RetryDelayTest, jitter_stays_within_its_fraction_and_varies) {
    RetryPolicy p = RetryPolicy::defaultPolicy();
    std::set<int32_t> seen;
    for (int i = 0; i < 200; ++i) {
        for (int32_t n = 0; n < 3; ++n) {
            int32_t base = 100 << n;
            int32_t d = retryDelayMs(p, n);
            EXPECT_GE(d, base * 9 / 10);
            EXPECT_LE(d, base * 11 / 10);
            if (n == 2) seen.insert(d);
        }
    }
    EXPECT_GT(seen.size(), 10u);
}

TEST(RetryDelayTest, presets) {
    RetryPolicy d = RetryPolicy::defaultPolicy();
    EXPECT_EQ(d.strategy, BackoffStrategy::Exponential);
    EXPECT_EQ(d.maxRetries, 3);
    EXPECT_EQ(d.initialDelayMs, 100);
    EXPECT_EQ(d.maxDelayMs, 10000);
    EXPECT_DOUBLE_EQ(d.multiplier, 2.0);
    EXPECT_DOUBLE_EQ(d.jitter, 0.1);
    EXPECT_EQ(d.retryableStatuses, (std::vector<int32_t>{429, 500, 502, 503, 504}));
    EXPECT_TRUE(d.retryOnNetworkError);
    EXPECT_TRUE(d.retryOnTimeout);

    RetryPolicy q = RetryPolicy::quickPolicy();
    EXPECT_EQ(q.strategy, BackoffStrategy::Fixed);
    EXPECT_EQ(q.maxRetries, 1);
    EXPECT_EQ(q.initialDelayMs, 50);
    EXPECT_EQ(q.maxDelayMs, 100);
    EXPECT_DOUBLE_EQ(q.jitter, 0.0);
    EXPECT_DOUBLE_EQ(q.multiplier, 2.0);
    EXPECT_EQ(q.retryableStatuses, d.retryableStatuses);
    EXPECT_EQ(retryDelayMs(q, 0), 50);
}

class RetryLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        server.on("GET", "/fail/(\\d+)/(\\d+)",
                  [this](const httplib::Request& req, httplib::Response& res) {
                      // The first N calls answer with the given status, later ones with 200.
                      int failures = std::stoi(req.matches[1]);
                      int status = std::stoi(req.matches[2]);
                      int n = ++calls;
                      res.status = n <= failures ? status : 200;
                      res.set_content("call " + std::to_string(n), "text/plain");
                  });
        ASSERT_TRUE(server.start());
    }

    HttpRequest request(const std::string& path, const RetryPolicy& policy) {
        HttpRequest r;
        r.url = server.url(path);
        r.retryPolicy = policy;
        r.requestId = "rid";
        return r;
    }

    std::atomic<int> calls{0};
    LoopbackServer server;
};

TEST_F(RetryLoopTest, status_503_four_times_returns_the_last_response) {
    HttpClient client;  // default policy: about 100 + 200 + 400 ms of back-off
    HttpRequest r;
    r.url = server.url("/fail/4/503");
    r.requestId = "rid";
    auto started = std::chrono::steady_clock::now();
    auto result = client.execute(r);
    auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(result.isSuccess());
    EXPECT_EQ(result.value().statusCode, 503);
    EXPECT_EQ(result.value().attempt, 4);
    EXPECT_EQ(result.value().body, "call 4");
    EXPECT_EQ(server.requestCount(), 4u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(630));

    EXPECT_EQ(HostLogCapture::instance().count("[obs-sayline] [HTTP] Retryable status 503 [rid]"),
              3u);
    auto retries = test::moduleLinesStartingWith("[HTTP] Retry ");
    ASSERT_EQ(retries.size(), 3u);
    const std::regex pattern(R"(\[obs-sayline\] \[HTTP\] Retry (\d)/3 after (\d+)ms \[rid\])");
    const int bases[] = {100, 200, 400};
    for (int i = 0; i < 3; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(retries[i], m, pattern)) << retries[i];
        EXPECT_EQ(std::stoi(m[1]), i + 1);
        int delay = std::stoi(m[2]);
        EXPECT_GE(delay, bases[i] * 9 / 10);
        EXPECT_LE(delay, bases[i] * 11 / 10);
    }
    for (int attempt = 1; attempt <= 4; ++attempt) {
        EXPECT_TRUE(HostLogCapture::instance().contains(
            "[obs-sayline] [HTTP] GET " + r.url + " [rid] attempt=" + std::to_string(attempt)));
    }
    // The breaker counts it as a success.
    EXPECT_EQ(client.circuitBreaker().failureCount(), 0);
}

TEST_F(RetryLoopTest, retryable_status_recovers_and_others_are_returned_at_once) {
    HttpClient client;
    auto recovered = client.execute(request("/fail/2/429", test::fastPolicy()));
    ASSERT_TRUE(recovered.isSuccess());
    EXPECT_EQ(recovered.value().statusCode, 200);
    EXPECT_EQ(recovered.value().attempt, 3);

    calls = 0;
    server.clearRequests();
    auto notFound = client.execute(request("/fail/9/404", test::fastPolicy()));
    ASSERT_TRUE(notFound.isSuccess());
    EXPECT_EQ(notFound.value().statusCode, 404);
    EXPECT_EQ(server.requestCount(), 1u);

    // Statuses come from the policy, not from a fixed list.
    calls = 0;
    server.clearRequests();
    RetryPolicy custom = test::fastPolicy(1);
    custom.retryableStatuses = {404};
    auto custom404 = client.execute(request("/fail/1/404", custom));
    ASSERT_TRUE(custom404.isSuccess());
    EXPECT_EQ(custom404.value().statusCode, 200);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(RetryLoopTest, max_retries_zero_and_negative) {
    HttpClient client;
    auto once = client.execute(request("/fail/5/503", test::fastPolicy(0)));
    ASSERT_TRUE(once.isSuccess());
    EXPECT_EQ(once.value().statusCode, 503);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_TRUE(test::moduleLinesStartingWith("[HTTP] Retry").empty());

    server.clearRequests();
    auto none = client.execute(request("/fail/0/200", test::fastPolicy(-1)));
    ASSERT_TRUE(none.isError());
    EXPECT_EQ(static_cast<int>(none.error().code), 1);
    EXPECT_EQ(none.error().message, "No attempt made");
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(client.circuitBreaker().failureCount(), 0);
}

TEST_F(RetryLoopTest, client_policy_applies_when_request_has_none) {
    HttpClient client(test::fastConfig(1));
    HttpRequest r;
    r.url = server.url("/fail/5/502");
    auto result = client.execute(r);
    ASSERT_TRUE(result.isSuccess());
    EXPECT_EQ(result.value().attempt, 2);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(RetryLoopTest, connection_failures_retry_only_with_network_retries_on) {
    const std::string closed = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort());
    HttpClient client;
    HttpRequest r;
    r.url = closed + "/x";
    r.requestId = "rid";

    r.retryPolicy = test::fastPolicy(2);
    auto retried = client.execute(r);
    ASSERT_TRUE(retried.isError());
    EXPECT_EQ(retried.error().code, ErrorCode::ConnectionFailed);
    EXPECT_EQ(retried.error().message, "HTTP request failed: Could not connect to server");
    EXPECT_EQ(test::moduleLinesStartingWith("[HTTP] Retry ").size(), 2u);
    EXPECT_EQ(test::moduleLinesStartingWith(
                  "[HTTP] CURL error: Could not connect to server (code 7) [rid] ")
                  .size(),
              3u);

    HostLogCapture::instance().clear();
    RetryPolicy noNetwork = test::fastPolicy(2);
    noNetwork.retryOnNetworkError = false;
    r.retryPolicy = noNetwork;
    auto notRetried = client.execute(r);
    ASSERT_TRUE(notRetried.isError());
    EXPECT_EQ(notRetried.error().code, ErrorCode::ConnectionFailed);
    EXPECT_TRUE(test::moduleLinesStartingWith("[HTTP] Retry ").empty());
}

}  // namespace
}  // namespace obs_sayline
