// Connections stay open between the requests of one client, survive a server that drops them
// while idle, and are never shared between clients.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "net/http_client.h"
#include "net_test_support.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;

class ConnectionReuseTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        ASSERT_TRUE(cert.valid());
        server.on("POST", "/echo", [](const httplib::Request& req, httplib::Response& res) {
            // Tells the test which connection carried the request.
            res.set_header("X-Peer-Port", std::to_string(req.remote_port));
            res.set_content(req.body, "text/plain");
        });
        ASSERT_TRUE(server.start());
    }

    HttpRequest echo(const std::string& body) const {
        HttpRequest r;
        r.url = server.url("/echo");
        r.method = HttpMethod::POST;
        r.body = body;
        r.caBundlePath = cert.caBundlePath();
        return r;
    }

    test::SelfSignedCertificate cert;
    LoopbackServer server{cert};
};

TEST_F(ConnectionReuseTest, sequential_requests_share_one_connection) {
    HttpClient client(test::fastConfig());
    for (int i = 0; i < 10; ++i) {
        const std::string body = "call " + std::to_string(i);
        auto result = client.execute(echo(body));
        ASSERT_TRUE(result.isSuccess()) << result.error().toString();
        EXPECT_EQ(result.value().body, body);
    }
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST_F(ConnectionReuseTest, connection_dropped_while_idle_costs_no_error) {
    // No retries allowed: the reconnect must not need one.
    HttpClient client(test::fastConfig(0));
    ASSERT_TRUE(client.execute(echo("before")).isSuccess());
    // The server closes connections that stay idle for a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto result = client.execute(echo("after"));
    ASSERT_TRUE(result.isSuccess()) << result.error().toString();
    EXPECT_EQ(result.value().body, "after");
    EXPECT_EQ(server.connectionCount(), 2u);
    EXPECT_TRUE(test::moduleLinesStartingWith("[HTTP] CURL error").empty());
    EXPECT_EQ(client.circuitBreaker().failureCount(), 0);
}

TEST_F(ConnectionReuseTest, clients_keep_their_own_connections_and_replies) {
    // Two clients, each driven by two threads at once.
    struct Side {
        HttpClient client{test::fastConfig()};
        std::mutex mutex;
        std::set<std::string> peerPorts;
    };
    Side a;
    Side b;
    std::atomic<int> wrong{0};
    auto drive = [&](Side& side, const std::string& name) {
        for (int i = 0; i < 10; ++i) {
            const std::string body = name + " call " + std::to_string(i);
            auto result = side.client.execute(echo(body));
            if (!result.isSuccess() || result.value().body != body) {
                ++wrong;
                continue;
            }
            std::lock_guard<std::mutex> lock(side.mutex);
            side.peerPorts.insert(result.value().headers["x-peer-port"]);
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(drive, std::ref(a), "a1");
    threads.emplace_back(drive, std::ref(a), "a2");
    threads.emplace_back(drive, std::ref(b), "b1");
    threads.emplace_back(drive, std::ref(b), "b2");
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(wrong.load(), 0);
    for (const std::string& port : a.peerPorts) EXPECT_EQ(b.peerPorts.count(port), 0u) << port;
    // Two callers at a time need at most two connections per client.
    EXPECT_LE(a.peerPorts.size(), 2u);
    EXPECT_LE(b.peerPorts.size(), 2u);
    EXPECT_LE(server.connectionCount(), 4u);
}

}  // namespace
}  // namespace obs_sayline
