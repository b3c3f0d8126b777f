// What keeps a transfer from holding the host: cancellation from the worker's owner, a bounded
// reply size, and plain http only to this machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "core/worker_registry.h"
#include "net/http_client.h"
#include "net_test_support.h"
#include "support/process_memory.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::HostLogCapture;
using test::LoopbackServer;

constexpr size_t kLimit = HttpClient::kMaxResponseBytes;

// An unbounded reply would take a gigabyte.
constexpr long kGrowthBound = test::kMemoryGrowthBound;

void expectCancelled(const Result<HttpResponse>& result) {
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::Cancelled);
    EXPECT_EQ(result.error().message, "HTTP request failed: Aborted by callback");
}

void expectTooLarge(const Result<HttpResponse>& result) {
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::InvalidResponse);
    EXPECT_EQ(result.error().message,
              "HTTP request failed: Response too large (over 4194304 bytes)");
}

using test::peakResidentBytes;
using test::residentBytes;
using test::resetPeakResident;

class HttpSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        server.on("GET", "/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stall(20000);
            res.set_content("late", "text/plain");
        });
        server.on("GET", "/busy",
                  [](const httplib::Request&, httplib::Response& res) { res.status = 503; });
        // Chunked, made on the fly: no length announced and never held in memory whole.
        server.on("GET", "/endless", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/octet-stream",
                [sent = size_t{0}](size_t, httplib::DataSink& sink) mutable {
                    static const std::string block(64 * 1024, 'x');
                    if (sent >= (size_t{1} << 30)) {
                        sink.done();
                        return true;
                    }
                    sent += block.size();
                    return sink.write(block.data(), block.size());
                });
        });
        // Announces its length: /sized/<bytes>.
        server.on("GET", "/sized/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
            const size_t length = std::stoull(req.matches[1]);
            res.set_content_provider(length, "application/octet-stream",
                                     [](size_t, size_t length, httplib::DataSink& sink) {
                                         static const std::string block(64 * 1024, 'x');
                                         return sink.write(block.data(),
                                                           std::min(length, block.size()));
                                     });
        });
        ASSERT_TRUE(server.start());
    }

    HttpRequest request(const std::string& path, RetryPolicy policy = test::fastPolicy(3)) {
        HttpRequest r;
        r.url = server.url(path);
        r.retryPolicy = policy;
        return r;
    }

    // Runs execute on a module worker; `cancelWhen` runs on the test thread and then the
    // worker's token is cancelled. Returns the result and the time from cancel to return.
    std::pair<Result<HttpResponse>, milliseconds> executeAndCancel(
        HttpRequest r, const std::function<void()>& cancelWhen) {
        std::promise<Result<HttpResponse>> done;
        auto future = done.get_future();
        auto token = WorkerRegistry::instance().start("http-test",
                                                      [&] { done.set_value(client.execute(r)); });
        if (!token) return {Result<HttpResponse>(ErrorCode::InternalError, "no worker"), {}};
        cancelWhen();
        const auto cancelledAt = steady_clock::now();
        token->cancel();
        auto result = future.get();
        auto latency = std::chrono::duration_cast<milliseconds>(steady_clock::now() - cancelledAt);
        // Joins the finished worker, as an unload would.
        EXPECT_EQ(WorkerRegistry::instance().shutdown(milliseconds(2000)), 0u);
        WorkerRegistry::instance().reopen();
        return {std::move(result), latency};
    }

    LoopbackServer server;
    HttpClient client;
};

TEST_F(HttpSafetyTest, cancel_ends_a_stalled_transfer_without_retry_or_breaker_failure) {
    auto [result, latency] = executeAndCancel(request("/stall"), [this] {
        while (server.requestCount() == 0) std::this_thread::sleep_for(milliseconds(5));
        std::this_thread::sleep_for(milliseconds(200));  // well inside the stall
    });
    expectCancelled(result);
    EXPECT_LT(latency, milliseconds(1500));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(client.circuitBreaker().failureCount(), 0);
}

TEST_F(HttpSafetyTest, cancel_during_back_off_ends_at_once) {
    RetryPolicy slow = test::fastPolicy(3);
    slow.initialDelayMs = 10000;
    auto [result, latency] = executeAndCancel(request("/busy", slow), [this] {
        while (test::moduleLinesStartingWith("[HTTP] Retry 1/3 after 10000ms").empty()) {
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    expectCancelled(result);
    EXPECT_LT(latency, milliseconds(500));
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(HttpSafetyTest, endless_reply_is_cut_off_at_the_limit_in_bounded_memory) {
    ASSERT_TRUE(client.execute(request("/sized/1024")).isSuccess());  // warm up
    const long before = residentBytes();
    const bool peakKnown = resetPeakResident();
    auto result = client.execute(request("/endless"));
    const long grown = (peakKnown ? peakResidentBytes() : residentBytes()) - before;
    expectTooLarge(result);
    EXPECT_LT(grown, kGrowthBound);
    EXPECT_EQ(server.requestCount(), 2u);  // not retried
}

TEST_F(HttpSafetyTest, announced_length_over_the_limit_is_refused_and_the_limit_itself_passes) {
    expectTooLarge(client.execute(request("/sized/" + std::to_string(kLimit + 1))));
    auto atLimit = client.execute(request("/sized/" + std::to_string(kLimit)));
    ASSERT_TRUE(atLimit.isSuccess()) << atLimit.error().toString();
    EXPECT_EQ(atLimit.value().body.size(), kLimit);
}

TEST_F(HttpSafetyTest, plain_http_leaves_only_to_loopback) {
    // Refused before any connection is tried: a connect attempt would take its timeout.
    HttpRequest remote;
    remote.url = "http://192.0.2.1:9/";
    remote.retryPolicy = test::fastPolicy(0);
    const auto started = steady_clock::now();
    auto refused = client.execute(remote);
    EXPECT_LT(steady_clock::now() - started, milliseconds(1000));
    ASSERT_TRUE(refused.isError());
    EXPECT_EQ(refused.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(refused.error().message, "HTTP request failed: Unsupported protocol");

    // An https call may not be redirected down to plain http, not even on this machine.
    test::SelfSignedCertificate cert;
    ASSERT_TRUE(cert.valid());
    LoopbackServer secure(cert);
    secure.onAny([this](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(server.url("/stall"), 302);
    });
    ASSERT_TRUE(secure.start());
    HttpRequest downgraded = request("/", test::fastPolicy(0));
    downgraded.url = secure.url("/");
    downgraded.caBundlePath = cert.caBundlePath();
    auto result = client.execute(downgraded);
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpSafetyTest, private_network_http_needs_the_requests_allowance) {
    // The loopback server is the proxy to the "network": what passes the protocol gate arrives
    // there with the URL it was meant for; nothing else leaves this machine.
    LoopbackServer lan;
    lan.on("GET", ".*/moved", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://192.168.1.21/v1/x", 302);
    });
    lan.onAny([](const httplib::Request&, httplib::Response& res) {
        res.set_content("ok", "text/plain");
    });
    ASSERT_TRUE(lan.start());
    HttpClientConfig config = test::fastConfig(0);
    config.proxyUrl = lan.baseUrl();
    HttpClient viaLan(config);

    HttpRequest r;
    r.url = "http://192.168.1.20:8000/openai/v1/x";
    r.retryPolicy = test::fastPolicy(0);
    auto refused = viaLan.execute(r);
    ASSERT_TRUE(refused.isError());
    EXPECT_EQ(refused.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(lan.requestCount(), 0u);

    r.allowPrivateHttp = true;
    auto passed = viaLan.execute(r);
    ASSERT_TRUE(passed.isSuccess()) << passed.error().toString();
    EXPECT_EQ(lan.lastRequest().target, r.url);

    // A redirect onward stays https-only, and a public host is never plain http.
    r.url = "http://192.168.1.20:8000/moved";
    auto redirected = viaLan.execute(r);
    ASSERT_TRUE(redirected.isError());
    EXPECT_EQ(redirected.error().code, ErrorCode::NotSupported);
    r.url = "http://203.0.113.5:8000/v1/x";
    auto publicHost = viaLan.execute(r);
    ASSERT_TRUE(publicHost.isError());
    EXPECT_EQ(publicHost.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(lan.requestCount(), 2u);
}

}  // namespace
}  // namespace obs_sayline
