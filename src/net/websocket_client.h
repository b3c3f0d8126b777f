#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace obs_sayline {

struct WebSocketOptions {
    std::string url;  // ws://host[:port]/path?query, or wss:// (TLS, peer verified)
    std::vector<std::pair<std::string, std::string>> headers;  // added to the upgrade request
    std::string userAgent;
    std::string caBundlePath;  // PEM file to trust instead of the system's roots (tests)
    std::chrono::milliseconds handshakeTimeout{10000};  // connect, TLS and upgrade, each
    // Nothing heard for this long: a ping goes out at half of it, and the connection is given
    // up when nothing answers.
    std::chrono::milliseconds idleTimeout{20000};
};

enum class WebSocketState { Idle, Connecting, Open, Closed };

// Why a connection ended (or never opened).
struct WebSocketEnd {
    std::string message;    // for logs; never holds a header value
    int upgradeStatus = 0;  // the HTTP status of a refused upgrade, 0 otherwise
    std::string upgradeBody;  // the body of a refused upgrade
    bool timedOut = false;
    bool peerClosed = false;  // the peer closed it (close frame)
    int closeCode = 0;        // from the peer's close frame
    std::string closeReason;
};

// A WebSocket client driven by one thread: every call and every handler runs on the thread
// that calls poll(), and poll() returns after the slice it is given, so the owner can mix its
// own timing with the I/O. Messages are sent in the order given, one at a time.
class WebSocketClient {
public:
    using TextHandler = std::function<void(const std::string& text)>;

    WebSocketClient();
    // Drops the connection at once.
    ~WebSocketClient();
    WebSocketClient(const WebSocketClient&) = delete;
    WebSocketClient& operator=(const WebSocketClient&) = delete;

    // Text messages as they arrive (binary ones are ignored).
    void onText(TextHandler handler);

    // Starts connecting (any earlier connection is dropped first). False when the URL cannot
    // be used; end() says why.
    bool open(const WebSocketOptions& options);

    // Runs the connection's I/O for up to `slice`; returns at once when there is none.
    void poll(std::chrono::milliseconds slice);

    WebSocketState state() const;
    const WebSocketEnd& end() const;

    // Queue a message while open; false otherwise.
    bool sendText(std::string text);
    bool sendBinary(std::string bytes);
    // Messages queued or being written.
    size_t pendingSends() const;
    // Bytes of binary messages written since open.
    unsigned long long binaryBytesSent() const;

    // Drops the connection at once, without a closing handshake.
    void abort();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
