// Every transition of the per-client breaker, driven through execute against real servers.
#include <gtest/gtest.h>

#include <thread>

#include "net/http_client.h"
#include "net/service_call_observer.h"
#include "net_test_support.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;

class CircuitBreakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        server.onAny([](const httplib::Request&, httplib::Response& res) {
            res.status = 503;
            res.set_content("down", "text/plain");
        });
        ASSERT_TRUE(server.start());
        closedUrl = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/x";
    }

    HttpClientConfig config(int32_t openMs) {
        HttpClientConfig c = test::fastConfig(0);
        c.circuitBreaker.failureThreshold = 3;
        c.circuitBreaker.openDurationMs = openMs;
        return c;
    }

    Result<HttpResponse> fail(HttpClient& client) {
        HttpRequest r;
        r.url = closedUrl;
        r.requestId = "down";
        return client.execute(r);
    }
    Result<HttpResponse> succeed(HttpClient& client) {
        HttpRequest r;
        r.url = server.url("/ok");  // 503 not retried with maxRetries 0: a success
        r.requestId = "up";
        return client.execute(r);
    }
    size_t transitions(const std::string& from, const std::string& to) {
        return HostLogCapture::instance().count("[obs-sayline] [HTTP] Circuit breaker: " + from +
                                                " -> " + to);
    }

    LoopbackServer server;
    std::string closedUrl;
};

TEST_F(CircuitBreakerTest, opens_rejects_half_opens_and_closes) {
    HttpClient client(config(250));
    CircuitBreaker& breaker = client.circuitBreaker();

    ASSERT_TRUE(fail(client).isError());
    ASSERT_TRUE(fail(client).isError());
    EXPECT_EQ(breaker.state(), CircuitState::Closed);
    EXPECT_EQ(breaker.failureCount(), 2);
    ASSERT_TRUE(fail(client).isError());
    EXPECT_EQ(breaker.state(), CircuitState::Open);
    EXPECT_EQ(breaker.failureCount(), 3);  // entering Open keeps the count
    EXPECT_EQ(transitions("Closed", "Open"), 1u);

    // Rejected without touching the server.
    auto rejected = succeed(client);
    ASSERT_TRUE(rejected.isError());
    EXPECT_EQ(rejected.error().code, ErrorCode::ServiceUnavailable);
    EXPECT_EQ(rejected.error().message, "Circuit breaker is open");
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [HTTP] Request blocked by circuit breaker [up]"));
    EXPECT_EQ(breaker.state(), CircuitState::Open);

    std::this_thread::sleep_for(std::chrono::milliseconds(280));
    ASSERT_TRUE(succeed(client).isSuccess());
    EXPECT_EQ(transitions("Open", "HalfOpen"), 1u);
    EXPECT_EQ(breaker.state(), CircuitState::HalfOpen);
    EXPECT_EQ(breaker.successCount(), 1);
    EXPECT_EQ(breaker.failureCount(), 0);
    EXPECT_EQ(server.requestCount(), 1u);

    ASSERT_TRUE(succeed(client).isSuccess());
    EXPECT_EQ(breaker.state(), CircuitState::Closed);
    EXPECT_EQ(transitions("HalfOpen", "Closed"), 1u);
    EXPECT_EQ(breaker.successCount(), 0);
}

TEST_F(CircuitBreakerTest, failure_in_half_open_reopens_and_restarts_the_clock) {
    HttpClient client(config(250));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(fail(client).isError());
    std::this_thread::sleep_for(std::chrono::milliseconds(280));

    auto trial = fail(client);  // admitted in HalfOpen, then fails
    ASSERT_TRUE(trial.isError());
    EXPECT_EQ(trial.error().code, ErrorCode::ConnectionFailed);
    EXPECT_EQ(client.circuitBreaker().state(), CircuitState::Open);
    EXPECT_EQ(transitions("HalfOpen", "Open"), 1u);

    // The open time counts from that last failure.
    auto rejected = succeed(client);
    ASSERT_TRUE(rejected.isError());
    EXPECT_EQ(rejected.error().message, "Circuit breaker is open");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(CircuitBreakerTest, success_in_closed_resets_the_failure_count) {
    HttpClient client(config(10000));
    ASSERT_TRUE(fail(client).isError());
    ASSERT_TRUE(fail(client).isError());
    ASSERT_TRUE(succeed(client).isSuccess());
    EXPECT_EQ(client.circuitBreaker().failureCount(), 0);
    ASSERT_TRUE(fail(client).isError());
    ASSERT_TRUE(fail(client).isError());
    EXPECT_EQ(client.circuitBreaker().state(), CircuitState::Closed);
}

TEST_F(CircuitBreakerTest, a_call_with_retries_counts_once) {
    HttpClientConfig c = config(10000);
    c.retryPolicy = test::fastPolicy(2);
    HttpClient client(c);
    ASSERT_TRUE(fail(client).isError());  // three attempts, one failed call
    EXPECT_EQ(client.circuitBreaker().failureCount(), 1);
}

TEST_F(CircuitBreakerTest, non_retryable_transport_error_counts_as_failure) {
    // Plain HTTP spoken to a TLS client: an SSL error, which is not retried.
    HttpClient client(config(10000));
    HttpRequest r;
    r.url = "https://127.0.0.1:" + std::to_string(server.port()) + "/x";
    r.retryPolicy = test::fastPolicy(3);
    auto result = client.execute(r);
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::SslError);
    EXPECT_TRUE(test::moduleLinesStartingWith("[HTTP] Retry ").empty());
    EXPECT_EQ(client.circuitBreaker().failureCount(), 1);
}

TEST_F(CircuitBreakerTest, disabled_breaker_never_rejects_or_counts) {
    HttpClientConfig c = config(10000);
    c.circuitBreaker.enabled = false;
    HttpClient client(c);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(fail(client).isError());
    EXPECT_EQ(client.circuitBreaker().state(), CircuitState::Closed);
    EXPECT_EQ(client.circuitBreaker().failureCount(), 0);
    EXPECT_TRUE(succeed(client).isSuccess());
}

// What a watching thread hears of its calls.
struct Heard final : IServiceCallObserver {
    std::vector<int32_t> answers;
    std::vector<long long> retries;
    std::vector<long long> openFor;
    void answered(int32_t status) noexcept override { answers.push_back(status); }
    void unreachable(std::chrono::milliseconds retryIn) noexcept override {
        retries.push_back(retryIn.count());
    }
    void breakerOpen(std::chrono::milliseconds remaining) noexcept override {
        openFor.push_back(remaining.count());
    }
};

TEST_F(CircuitBreakerTest, a_watching_thread_hears_answers_back_offs_and_the_open_breaker) {
    HttpClientConfig c = config(30000);
    c.retryPolicy = test::fastPolicy(2);
    HttpClient client(c);
    Heard heard;
    ScopedServiceCallObserver watching(heard);

    ASSERT_TRUE(succeed(client).isSuccess());
    EXPECT_EQ(heard.answers, std::vector<int32_t>{503});
    ASSERT_TRUE(fail(client).isError());
    EXPECT_EQ(heard.retries, (std::vector<long long>{5, 5, 0}));  // the last attempt: none after
    EXPECT_TRUE(heard.openFor.empty());

    ASSERT_TRUE(fail(client).isError());
    ASSERT_TRUE(fail(client).isError());  // the third failed call opens the breaker
    ASSERT_EQ(heard.openFor.size(), 1u);
    EXPECT_GT(heard.openFor[0], 29000);
    EXPECT_LE(heard.openFor[0], 30000);
    ASSERT_TRUE(succeed(client).isError());  // refused
    ASSERT_EQ(heard.openFor.size(), 2u);
    EXPECT_LE(heard.openFor[1], heard.openFor[0]);

    // Calls on other threads tell nobody here.
    const size_t retriesBefore = heard.retries.size();
    std::thread([&] { (void)succeed(client); }).join();
    EXPECT_EQ(heard.openFor.size(), 2u);
    EXPECT_EQ(heard.retries.size(), retriesBefore);
}

TEST_F(CircuitBreakerTest, initial_open_time_counts_from_construction) {
    // A breaker forced open right away still honours the open time from its creation.
    CircuitBreakerConfig c;
    c.failureThreshold = 1;
    c.openDurationMs = 10000;
    CircuitBreaker breaker(c);
    breaker.recordFailure();
    EXPECT_EQ(breaker.state(), CircuitState::Open);
    EXPECT_FALSE(breaker.allowRequest());
    breaker.recordSuccess();  // ignored while open
    EXPECT_EQ(breaker.state(), CircuitState::Open);
    EXPECT_STREQ(circuitStateName(CircuitState::HalfOpen), "HalfOpen");
}

}  // namespace
}  // namespace obs_sayline
