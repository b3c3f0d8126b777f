#include "net/websocket_client.h"

// Boost.Beast over Boost.Asio; TLS through Asio's OpenSSL stream. Everything of the library
// stays in this file.
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <deque>
#include <optional>

#include "platform/tls_roots.h"

namespace obs_sayline {
namespace {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace ws = beast::websocket;
using tcp = net::ip::tcp;

// Messages from the service are small (a result is a few kilobytes); anything far larger is
// not one of them.
constexpr size_t kMaxMessageBytes = 1 << 20;

struct Endpoint {
    bool tls = false;
    std::string host;        // without brackets
    std::string port;
    std::string hostHeader;  // as in the URL, with a port that is not the scheme's own
    std::string target;      // path and query
};

std::optional<Endpoint> parseUrl(const std::string& url) {
    Endpoint e;
    size_t rest;
    if (url.compare(0, 6, "wss://") == 0) {
        e.tls = true;
        rest = 6;
    } else if (url.compare(0, 5, "ws://") == 0) {
        rest = 5;
    } else {
        return std::nullopt;
    }
    const size_t pathAt = url.find_first_of("/?", rest);
    const std::string authority = url.substr(rest, pathAt == std::string::npos ? pathAt
                                                                               : pathAt - rest);
    if (authority.empty() || authority.find('@') != std::string::npos) return std::nullopt;
    e.hostHeader = authority;
    size_t portAt = std::string::npos;
    if (authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        e.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return std::nullopt;
            portAt = close + 1;
        }
    } else {
        portAt = authority.find(':');
        e.host = authority.substr(0, portAt);
    }
    e.port = portAt == std::string::npos ? (e.tls ? "443" : "80") : authority.substr(portAt + 1);
    if (e.host.empty() || e.port.empty() ||
        e.port.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    e.target = pathAt == std::string::npos ? "/" : url.substr(pathAt);
    if (e.target.front() == '?') e.target.insert(0, "/");
    return e;
}

bool isIpAddress(const std::string& host) {
    boost::system::error_code ec;
    net::ip::make_address(host, ec);
    return !ec;
}

struct Outgoing {
    bool binary = false;
    std::string bytes;
};

// What a connection reports to its client.
class ConnectionOwner {
public:
    virtual ~ConnectionOwner() = default;
    virtual void opened(uint64_t generation) = 0;
    virtual void ended(uint64_t generation, WebSocketEnd end) = 0;
    virtual void received(uint64_t generation, const std::string& text) = 0;
    virtual void wrote(uint64_t generation, size_t binaryBytes) = 0;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual void start() = 0;
    virtual void send(Outgoing message) = 0;
    virtual size_t pending() const = 0;
    virtual void abort() = 0;
};

// One connection over plain TCP (`Next` = tcp_stream) or TLS (ssl_stream<tcp_stream>). Its
// handlers hold it by shared ownership, so it lives until the last of them has run or been
// dropped with the io_context.
template <typename Next>
class ConnectionOf final : public Connection,
                           public std::enable_shared_from_this<ConnectionOf<Next>> {
public:
    static constexpr bool kTls = !std::is_same<Next, beast::tcp_stream>::value;

    ConnectionOf(net::io_context& ioc, std::shared_ptr<net::ssl::context> tls, Endpoint endpoint,
                 const WebSocketOptions& options, ConnectionOwner& owner, uint64_t generation)
        : tls_(std::move(tls)),
          resolver_(ioc),
          ws_(makeStream(ioc)),
          endpoint_(std::move(endpoint)),
          headers_(options.headers),
          userAgent_(options.userAgent),
          handshakeTimeout_(options.handshakeTimeout),
          idleTimeout_(options.idleTimeout),
          owner_(owner),
          generation_(generation) {
        ws_.read_message_max(kMaxMessageBytes);
    }

    void start() override {
        resolver_.async_resolve(
            endpoint_.host, endpoint_.port,
            [self = this->shared_from_this()](beast::error_code ec,
                                              tcp::resolver::results_type results) {
                self->onResolved(ec, results);
            });
    }

    void send(Outgoing message) override {
        queue_.push_back(std::move(message));
        if (!writing_ && open_) writeNext();
    }

    size_t pending() const override { return queue_.size(); }

    void abort() override {
        if (ended_) return;
        resolver_.cancel();
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
        end("aborted");
    }

private:
    ws::stream<Next> makeStream(net::io_context& ioc) {
        if constexpr (kTls) {
            return ws::stream<Next>(ioc, *tls_);
        } else {
            return ws::stream<Next>(ioc);
        }
    }

    void onResolved(beast::error_code ec, const tcp::resolver::results_type& results) {
        if (ec) return fail(ec, "resolve");
        beast::get_lowest_layer(ws_).expires_after(handshakeTimeout_);
        beast::get_lowest_layer(ws_).async_connect(
            results, [self = this->shared_from_this()](beast::error_code ec,
                                                       const tcp::endpoint&) {
                self->onConnected(ec);
            });
    }

    void onConnected(beast::error_code ec) {
        if (ec) return fail(ec, "connect");
        if constexpr (kTls) {
            auto& tls = ws_.next_layer();
            tls.set_verify_mode(net::ssl::verify_peer);
            tls.set_verify_callback(net::ssl::host_name_verification(endpoint_.host));
            if (!isIpAddress(endpoint_.host) &&
                !SSL_set_tlsext_host_name(tls.native_handle(), endpoint_.host.c_str())) {
                return end("TLS: server name not accepted");
            }
            beast::get_lowest_layer(ws_).expires_after(handshakeTimeout_);
            tls.async_handshake(net::ssl::stream_base::client,
                                [self = this->shared_from_this()](beast::error_code ec) {
                                    if (ec) return self->fail(ec, "TLS handshake");
                                    self->upgrade();
                                });
        } else {
            upgrade();
        }
    }

    void upgrade() {
        // From here the WebSocket stream keeps its own time limits.
        beast::get_lowest_layer(ws_).expires_never();
        ws::stream_base::timeout limits{};
        limits.handshake_timeout = handshakeTimeout_;
        limits.idle_timeout = idleTimeout_;
        limits.keep_alive_pings = true;
        ws_.set_option(limits);
        ws_.set_option(ws::stream_base::decorator(
            [headers = headers_, agent = userAgent_](ws::request_type& request) {
                if (!agent.empty()) request.set(beast::http::field::user_agent, agent);
                for (const auto& [name, value] : headers) request.set(name, value);
            }));
        ws_.async_handshake(response_, endpoint_.hostHeader, endpoint_.target,
                            [self = this->shared_from_this()](beast::error_code ec) {
                                self->onUpgraded(ec);
                            });
    }

    void onUpgraded(beast::error_code ec) {
        if (ec) {
            const unsigned status = response_.result_int();
            if (status != 0 && status != 101) {
                WebSocketEnd refused;
                refused.upgradeStatus = static_cast<int>(status);
                refused.upgradeBody = response_.body().substr(0, 4096);
                refused.message = "upgrade refused with HTTP " + std::to_string(status);
                return end(std::move(refused));
            }
            return fail(ec, "upgrade");
        }
        open_ = true;
        owner_.opened(generation_);
        read();
        if (!queue_.empty()) writeNext();
    }

    void read() {
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code ec, size_t) {
            self->onRead(ec);
        });
    }

    void onRead(beast::error_code ec) {
        if (ec) {
            if (ec == ws::error::closed) {
                WebSocketEnd closed;
                closed.peerClosed = true;
                closed.closeCode = static_cast<int>(ws_.reason().code);
                closed.closeReason = std::string(ws_.reason().reason.c_str());
                closed.message = "closed by the peer (" + std::to_string(closed.closeCode) +
                                 (closed.closeReason.empty() ? "" : ": " + closed.closeReason) +
                                 ")";
                return end(std::move(closed));
            }
            return fail(ec, "read");
        }
        if (ws_.got_text()) {
            owner_.received(generation_, beast::buffers_to_string(buffer_.data()));
        }
        buffer_.consume(buffer_.size());
        if (!ended_) read();
    }

    void writeNext() {
        writing_ = true;
        const Outgoing& next = queue_.front();
        ws_.binary(next.binary);
        ws_.async_write(net::buffer(next.bytes),
                        [self = this->shared_from_this()](beast::error_code ec, size_t) {
                            self->onWritten(ec);
                        });
    }

    void onWritten(beast::error_code ec) {
        writing_ = false;
        if (ec) return fail(ec, "write");
        const Outgoing done = std::move(queue_.front());
        queue_.pop_front();
        if (done.binary) owner_.wrote(generation_, done.bytes.size());
        if (!queue_.empty() && !ended_) writeNext();
    }

    void fail(beast::error_code ec, const char* during) {
        WebSocketEnd failed;
        failed.timedOut = ec == beast::error::timeout;
        failed.message = std::string(during) + ": " + ec.message();
        end(std::move(failed));
    }

    void end(std::string message) {
        WebSocketEnd ended;
        ended.message = std::move(message);
        end(std::move(ended));
    }

    void end(WebSocketEnd why) {
        if (ended_) return;
        ended_ = true;
        open_ = false;
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
        owner_.ended(generation_, std::move(why));
    }

    std::shared_ptr<net::ssl::context> tls_;  // before the stream that uses it
    tcp::resolver resolver_;
    ws::stream<Next> ws_;
    beast::flat_buffer buffer_;
    ws::response_type response_;
    Endpoint endpoint_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::string userAgent_;
    std::chrono::milliseconds handshakeTimeout_;
    std::chrono::milliseconds idleTimeout_;
    ConnectionOwner& owner_;
    uint64_t generation_;
    std::deque<Outgoing> queue_;
    bool writing_ = false;
    bool open_ = false;
    bool ended_ = false;
};

}  // namespace

struct WebSocketClient::Impl final : ConnectionOwner {
    net::io_context ioc{1};
    std::shared_ptr<Connection> connection;
    uint64_t generation = 0;
    WebSocketState state = WebSocketState::Idle;
    WebSocketEnd end;
    TextHandler onText;
    unsigned long long binaryBytes = 0;

    ~Impl() override {
        drop();
        // Handlers of the dropped connection run (aborted) here, not after we are gone.
        ioc.restart();
        ioc.poll();
    }

    void drop() {
        if (connection) connection->abort();
        connection.reset();
        ++generation;
    }

    void opened(uint64_t g) override {
        if (g == generation) state = WebSocketState::Open;
    }
    void ended(uint64_t g, WebSocketEnd why) override {
        if (g != generation) return;
        state = WebSocketState::Closed;
        end = std::move(why);
    }
    void received(uint64_t g, const std::string& text) override {
        if (g == generation && onText) onText(text);
    }
    void wrote(uint64_t g, size_t bytes) override {
        if (g == generation) binaryBytes += bytes;
    }
};

WebSocketClient::WebSocketClient() : impl_(std::make_unique<Impl>()) {}
WebSocketClient::~WebSocketClient() = default;

void WebSocketClient::onText(TextHandler handler) { impl_->onText = std::move(handler); }

bool WebSocketClient::open(const WebSocketOptions& options) {
    impl_->drop();
    impl_->end = WebSocketEnd{};
    impl_->binaryBytes = 0;
    const std::optional<Endpoint> endpoint = parseUrl(options.url);
    if (!endpoint) {
        impl_->state = WebSocketState::Closed;
        impl_->end.message = "not a ws:// or wss:// URL";
        return false;
    }
    const uint64_t generation = impl_->generation;
    impl_->state = WebSocketState::Connecting;
    if (endpoint->tls) {
        auto tls = std::make_shared<net::ssl::context>(net::ssl::context::tls_client);
        tls->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                         net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                         net::ssl::context::no_tlsv1_1);
        if (!options.caBundlePath.empty()) {
            boost::system::error_code ec;
            tls->load_verify_file(options.caBundlePath, ec);
            if (ec) {
                impl_->state = WebSocketState::Closed;
                impl_->end.message = "CA bundle not readable: " + ec.message();
                return false;
            }
        } else {
            platform::trustSystemRoots(tls->native_handle());
        }
        impl_->connection = std::make_shared<ConnectionOf<beast::ssl_stream<beast::tcp_stream>>>(
            impl_->ioc, std::move(tls), *endpoint, options, *impl_, generation);
    } else {
        impl_->connection = std::make_shared<ConnectionOf<beast::tcp_stream>>(
            impl_->ioc, nullptr, *endpoint, options, *impl_, generation);
    }
    impl_->connection->start();
    return true;
}

void WebSocketClient::poll(std::chrono::milliseconds slice) {
    impl_->ioc.restart();
    impl_->ioc.run_for(slice);
}

WebSocketState WebSocketClient::state() const { return impl_->state; }

const WebSocketEnd& WebSocketClient::end() const { return impl_->end; }

bool WebSocketClient::sendText(std::string text) {
    if (impl_->state != WebSocketState::Open || !impl_->connection) return false;
    impl_->connection->send({false, std::move(text)});
    return true;
}

bool WebSocketClient::sendBinary(std::string bytes) {
    if (impl_->state != WebSocketState::Open || !impl_->connection) return false;
    impl_->connection->send({true, std::move(bytes)});
    return true;
}

size_t WebSocketClient::pendingSends() const {
    return impl_->connection ? impl_->connection->pending() : 0;
}

unsigned long long WebSocketClient::binaryBytesSent() const { return impl_->binaryBytes; }

void WebSocketClient::abort() {
    if (!impl_->connection) return;
    impl_->connection->abort();
}

}  // namespace obs_sayline
