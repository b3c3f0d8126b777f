// Transport failures against real sockets: timeouts, refused connections, TLS, cancellation.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "net/http_client.h"
#include "net_test_support.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;

class HttpFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        server.on("GET", "/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stall(2000);
            res.set_content("late", "text/plain");
        });
        server.on("GET", "/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(256 * 1024, 'x'), "application/octet-stream");
        });
        ASSERT_TRUE(server.start());
    }

    LoopbackServer server;
};

TEST_F(HttpFailureTest, stalled_server_times_out_and_is_retried_per_policy) {
    HttpClient client;
    HttpRequest r;
    r.url = server.url("/stall");
    r.requestId = "slow";
    r.timeoutMs = 150;
    r.retryPolicy = test::fastPolicy(1);
    auto started = std::chrono::steady_clock::now();
    auto result = client.execute(r);
    auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::Timeout);
    EXPECT_EQ(result.error().message, "HTTP request failed: Operation timed out");
    EXPECT_EQ(server.requestCount(), 2u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    EXPECT_EQ(
        test::moduleLinesStartingWith("[HTTP] CURL error: Operation timed out (code 28) [slow] ")
            .size(),
        2u);
    EXPECT_EQ(client.circuitBreaker().failureCount(), 1);
}

TEST_F(HttpFailureTest, timeouts_follow_their_own_flag) {
    HttpClient client;
    HttpRequest r;
    r.url = server.url("/stall");
    r.timeoutMs = 100;

    // Network retries off, timeout retries on: a timeout is still retried.
    RetryPolicy timeoutOnly = test::fastPolicy(1);
    timeoutOnly.retryOnNetworkError = false;
    r.retryPolicy = timeoutOnly;
    ASSERT_TRUE(client.execute(r).isError());
    EXPECT_EQ(server.requestCount(), 2u);

    // Timeout retries off: not retried even though network retries are on.
    server.clearRequests();
    RetryPolicy noTimeout = test::fastPolicy(1);
    noTimeout.retryOnTimeout = false;
    r.retryPolicy = noTimeout;
    auto result = client.execute(r);
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::Timeout);
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(HttpFailureTest, closed_port_is_connection_failed) {
    HttpClient client;
    HttpRequest r;
    r.url = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/";
    r.retryPolicy = test::fastPolicy(0);
    auto result = client.execute(r);
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::ConnectionFailed);
    EXPECT_EQ(result.error().message, "HTTP request failed: Could not connect to server");
}

TEST_F(HttpFailureTest, progress_callback_that_refuses_cancels_the_transfer) {
    HttpClient client;
    HttpRequest r;
    r.url = server.url("/big");
    r.retryPolicy = test::fastPolicy(3);
    std::atomic<int> calls{0};
    r.progressCallback = [&](int64_t received, int64_t total) {
        ++calls;
        return received == 0;  // abort once data flows
    };
    auto result = client.execute(r);
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::Cancelled);
    EXPECT_EQ(result.error().message, "HTTP request failed: Aborted by callback");
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(server.requestCount(), 1u);  // Cancelled is not retried

    // A callback that throws aborts the same way instead of unwinding through libcurl.
    r.progressCallback = [](int64_t, int64_t) -> bool { throw std::runtime_error("boom"); };
    auto thrown = client.execute(r);
    ASSERT_TRUE(thrown.isError());
    EXPECT_EQ(thrown.error().code, ErrorCode::Cancelled);

    // A callback that lets it run sees the full size.
    int64_t lastReceived = 0;
    int64_t lastTotal = 0;
    r.progressCallback = [&](int64_t received, int64_t total) {
        lastReceived = received;
        lastTotal = total;
        return true;
    };
    auto full = client.execute(r);
    ASSERT_TRUE(full.isSuccess());
    EXPECT_EQ(full.value().body.size(), 256u * 1024u);
    EXPECT_EQ(lastReceived, 256 * 1024);
    EXPECT_EQ(lastTotal, 256 * 1024);
}

TEST(HttpsTest, self_signed_server_needs_its_ca_bundle) {
    test::SelfSignedCertificate cert;
    ASSERT_TRUE(cert.valid());
    LoopbackServer server(cert);
    server.onAny([](const httplib::Request&, httplib::Response& res) {
        res.set_content("secure", "text/plain");
    });
    ASSERT_TRUE(server.start());

    HttpClient client;
    HttpRequest r;
    r.url = server.url("/tls");
    r.retryPolicy = test::fastPolicy(0);
    auto refused = client.execute(r);
    ASSERT_TRUE(refused.isError());
    EXPECT_EQ(refused.error().code, ErrorCode::SslError);

    r.caBundlePath = cert.caBundlePath();
    auto accepted = client.execute(r);
    ASSERT_TRUE(accepted.isSuccess()) << accepted.error().toString();
    EXPECT_EQ(accepted.value().body, "secure");

    // The client's bundle applies when the request names none.
    HttpClientConfig config;
    config.caBundlePath = cert.caBundlePath();
    HttpClient trusting(config);
    r.caBundlePath.clear();
    EXPECT_TRUE(trusting.execute(r).isSuccess());

    // The host name must match: "localhost" is in the certificate, so it passes; verification
    // off accepts the certificate without a bundle.
    r.url = "https://localhost:" + std::to_string(server.port()) + "/tls";
    EXPECT_TRUE(trusting.execute(r).isSuccess());
    HttpRequest unverified;
    unverified.url = server.url("/tls");
    unverified.verifySsl = false;
    unverified.retryPolicy = test::fastPolicy(0);
    EXPECT_TRUE(client.execute(unverified).isSuccess());
}

TEST(HttpProxyTest, requests_go_through_the_configured_proxy_with_credentials) {
    // A plain HTTP proxy sees absolute-form targets and the Proxy-Authorization header.
    LoopbackServer proxy;
    proxy.onAny([](const httplib::Request&, httplib::Response& res) {
        res.set_content("via proxy", "text/plain");
    });
    ASSERT_TRUE(proxy.start());
    HttpClientConfig config;
    config.proxyUrl = proxy.baseUrl();
    config.proxyUsername = "user";
    config.proxyPassword = "pass";
    HttpClient client(config);
    HttpRequest r;
    // Plain http is allowed only to a loopback host; nothing listens on this one, so the
    // reply can only come from the proxy.
    r.url = "http://127.0.0.2:9/path?x=1";
    r.retryPolicy = test::fastPolicy(0);
    auto result = client.execute(r);
    ASSERT_TRUE(result.isSuccess()) << result.error().toString();
    EXPECT_EQ(result.value().body, "via proxy");
    auto got = proxy.lastRequest();
    EXPECT_EQ(got.target, "http://127.0.0.2:9/path?x=1");
    EXPECT_EQ(got.header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
}

}  // namespace
}  // namespace obs_sayline
