#pragma once

// An in-process WebSocket server on 127.0.0.1 (plain or TLS) for tests of streaming clients.
//
//   WebSocketServer server;                      // or WebSocketServer server(certificate);
//   server.onUpgrade([](const Upgrade& u) { return u.target == "/ok" ? 101 : 404; });
//   server.onMessage([](Peer& peer, const Received& got) { peer.send(R"({"type":"x"})"); });
//   ASSERT_TRUE(server.start());
//   ... connect to server.url("/v1/listen?...") ...
//
// Everything runs on the server's own thread: the handlers, and the Peer calls they make
// (send, sendAfter, close, drop). What arrived is recorded before a handler runs: upgrade
// requests and every message with its arrival time. stop() (also run by the destructor) ends
// every connection at once.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace obs_sayline::test {

class SelfSignedCertificate;

struct Upgrade {
    size_t connection = 0;  // 0 for the first connection, then 1, ...
    std::string target;     // path and query as sent
    std::string path;
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string header(const std::string& name) const;  // case-insensitive; "" when absent
};

struct Received {
    size_t connection = 0;
    bool binary = false;
    std::string bytes;
    std::chrono::steady_clock::time_point at;
};

// The other end of one connection, for handlers.
class Peer {
public:
    virtual ~Peer() = default;
    virtual size_t connection() const = 0;
    virtual void send(const std::string& text) = 0;
    virtual void sendAfter(std::chrono::milliseconds delay, const std::string& text) = 0;
    // Runs `work` on the server's thread after `delay` (it may use this peer).
    virtual void runAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
    // Close frame with this code and reason.
    virtual void close(int code = 1000, const std::string& reason = "") = 0;
    // Drops the TCP connection without a close frame.
    virtual void drop() = 0;
};

class WebSocketServer {
public:
    // Status to answer the upgrade with: 101 accepts; anything else refuses with that status
    // and `refusalBody`.
    using UpgradeHandler = std::function<int(const Upgrade&)>;
    using OpenHandler = std::function<void(Peer&)>;
    using MessageHandler = std::function<void(Peer&, const Received&)>;

    WebSocketServer();
    explicit WebSocketServer(const SelfSignedCertificate& cert);
    ~WebSocketServer();
    WebSocketServer(const WebSocketServer&) = delete;
    WebSocketServer& operator=(const WebSocketServer&) = delete;

    // Set before start().
    void onUpgrade(UpgradeHandler handler, std::string refusalBody = "");
    void onOpen(OpenHandler handler);
    void onMessage(MessageHandler handler);

    bool start();
    void stop();

    int port() const;
    // "ws://127.0.0.1:<port>" (wss for TLS) + pathAndQuery.
    std::string url(const std::string& pathAndQuery = "") const;
    // "http://127.0.0.1:<port>" (https for TLS): what a base-URL override looks like.
    std::string httpBase() const;

    std::vector<Upgrade> upgrades() const;
    std::vector<Received> messages() const;
    size_t connectionsClosed() const;  // connections that have ended, either side
    bool waitForClosed(size_t connections, std::chrono::milliseconds timeout) const;
    // Waits until `condition` over the recorded messages holds; false after `timeout`.
    bool waitFor(const std::function<bool(const std::vector<Received>&)>& condition,
                 std::chrono::milliseconds timeout) const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace obs_sayline::test
