// The WebSocket client over TLS: the peer's certificate is verified.

#include "net/websocket_client.h"

#include <gtest/gtest.h>

#include "support/loopback_server.h"
#include "support/websocket_server.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;

WebSocketState settle(WebSocketClient& client) {
    for (int i = 0; i < 500 && client.state() == WebSocketState::Connecting; ++i) {
        client.poll(milliseconds(10));
    }
    return client.state();
}

TEST(WebSocketClientTest, tls_peers_are_verified_against_the_trusted_roots) {
    test::SelfSignedCertificate cert;
    ASSERT_TRUE(cert.valid());
    test::WebSocketServer server(cert);
    server.onMessage([](test::Peer& peer, const test::Received& got) { peer.send(got.bytes); });
    ASSERT_TRUE(server.start());

    WebSocketClient trusting;
    std::string echoed;
    trusting.onText([&](const std::string& text) { echoed = text; });
    WebSocketOptions options;
    options.url = server.url("/echo");
    options.caBundlePath = cert.caBundlePath();
    ASSERT_TRUE(trusting.open(options));
    ASSERT_EQ(settle(trusting), WebSocketState::Open) << trusting.end().message;
    ASSERT_TRUE(trusting.sendText("over TLS"));
    for (int i = 0; i < 200 && echoed.empty(); ++i) trusting.poll(milliseconds(10));
    EXPECT_EQ(echoed, "over TLS");

    // The system's roots do not know the test's own certificate.
    WebSocketClient plain;
    options.caBundlePath.clear();
    ASSERT_TRUE(plain.open(options));
    EXPECT_EQ(settle(plain), WebSocketState::Closed);
    EXPECT_NE(plain.end().message.find("certificate verify failed"), std::string::npos)
        << plain.end().message;
}

}  // namespace
}  // namespace obs_sayline
