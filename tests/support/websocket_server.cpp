#include "support/websocket_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <condition_variable>
#include <deque>
#include <optional>
#include <strings.h>

#include "support/loopback_server.h"

namespace obs_sayline::test {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace ws = beast::websocket;
namespace http = beast::http;
using tcp = net::ip::tcp;

std::string Upgrade::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    }
    return "";
}

struct WebSocketServer::Impl {
    net::io_context ioc;
    std::optional<net::ssl::context> tls;
    tcp::acceptor acceptor{ioc};
    std::thread thread;
    int port = -1;

    UpgradeHandler upgrade;
    std::string refusalBody;
    OpenHandler open;
    MessageHandler message;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Upgrade> upgrades;
    std::vector<Received> received;
    size_t closed = 0;
    size_t connections = 0;
    std::vector<std::weak_ptr<Peer>> peers;  // server thread only

    void record(Received got) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(std::move(got));
        }
        changed.notify_all();
    }
    void ended() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++closed;
        }
        changed.notify_all();
    }
    void accept();
};

namespace {

template <typename Next>
class Session final : public Peer, public std::enable_shared_from_this<Session<Next>> {
public:
    static constexpr bool kTls = !std::is_same<Next, beast::tcp_stream>::value;

    Session(WebSocketServer::Impl& server, tcp::socket socket, size_t connection)
        : server_(server), ws_(makeStream(std::move(socket))), connection_(connection) {}

    void start() {
        if constexpr (kTls) {
            ws_.next_layer().async_handshake(
                net::ssl::stream_base::server,
                [self = this->shared_from_this()](beast::error_code ec) {
                    if (ec) return self->finish();
                    self->readUpgrade();
                });
        } else {
            readUpgrade();
        }
    }

    size_t connection() const override { return connection_; }

    void send(const std::string& text) override {
        if (ended_) return;
        queue_.push_back(text);
        if (!writing_) writeNext();
    }

    void sendAfter(std::chrono::milliseconds delay, const std::string& text) override {
        auto timer = std::make_shared<net::steady_timer>(ws_.get_executor(), delay);
        timer->async_wait([self = this->shared_from_this(), timer, text](beast::error_code ec) {
            if (!ec) self->send(text);
        });
    }

    void runAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
        auto timer = std::make_shared<net::steady_timer>(ws_.get_executor(), delay);
        timer->async_wait(
            [self = this->shared_from_this(), timer, work = std::move(work)](beast::error_code ec) {
                if (!ec && !self->ended_) work();
            });
    }

    void close(int code, const std::string& reason) override {
        if (ended_) return;
        ws::close_reason why(static_cast<ws::close_code>(code), reason);
        ws_.async_close(why, [self = this->shared_from_this()](beast::error_code) {});
    }

    void drop() override {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
        finish();
    }

private:
    ws::stream<Next> makeStream(tcp::socket socket) {
        if constexpr (kTls) {
            return ws::stream<Next>(std::move(socket), *server_.tls);
        } else {
            return ws::stream<Next>(std::move(socket));
        }
    }

    void readUpgrade() {
        http::async_read(ws_.next_layer(), buffer_, request_,
                         [self = this->shared_from_this()](beast::error_code ec, size_t) {
                             if (ec) return self->finish();
                             self->answerUpgrade();
                         });
    }

    void answerUpgrade() {
        Upgrade upgrade;
        upgrade.connection = connection_;
        upgrade.target = std::string(request_.target());
        const size_t q = upgrade.target.find('?');
        upgrade.path = upgrade.target.substr(0, q);
        upgrade.query = q == std::string::npos ? "" : upgrade.target.substr(q + 1);
        for (const auto& field : request_) {
            upgrade.headers.emplace_back(std::string(field.name_string()),
                                         std::string(field.value()));
        }
        {
            std::lock_guard<std::mutex> lock(server_.mutex);
            server_.upgrades.push_back(upgrade);
        }
        server_.changed.notify_all();
        const int status = server_.upgrade ? server_.upgrade(upgrade) : 101;
        if (status != 101) {
            auto response = std::make_shared<http::response<http::string_body>>(
                static_cast<http::status>(status), request_.version());
            response->set(http::field::content_type, "application/json");
            response->body() = server_.refusalBody;
            response->keep_alive(false);
            response->prepare_payload();
            http::async_write(ws_.next_layer(), *response,
                              [self = this->shared_from_this(), response](beast::error_code,
                                                                          size_t) {
                                  self->drop();
                              });
            return;
        }
        ws_.async_accept(request_, [self = this->shared_from_this()](beast::error_code ec) {
            if (ec) return self->finish();
            if (self->server_.open) self->server_.open(*self);
            self->read();
        });
    }

    void read() {
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code ec, size_t) {
            if (ec) return self->finish();
            Received got;
            got.connection = self->connection_;
            got.binary = self->ws_.got_binary();
            got.bytes = beast::buffers_to_string(self->buffer_.data());
            got.at = std::chrono::steady_clock::now();
            self->buffer_.consume(self->buffer_.size());
            self->server_.record(got);
            if (self->server_.message) self->server_.message(*self, got);
            if (!self->ended_) self->read();
        });
    }

    void writeNext() {
        writing_ = true;
        ws_.text(true);
        ws_.async_write(net::buffer(queue_.front()),
                        [self = this->shared_from_this()](beast::error_code ec, size_t) {
                            self->writing_ = false;
                            if (ec) return;
                            self->queue_.pop_front();
                            if (!self->queue_.empty() && !self->ended_) self->writeNext();
                        });
    }

    void finish() {
        if (ended_) return;
        ended_ = true;
        server_.ended();
    }

    WebSocketServer::Impl& server_;
    ws::stream<Next> ws_;
    size_t connection_;
    beast::flat_buffer buffer_;
    http::request<http::string_body> request_;
    std::deque<std::string> queue_;
    bool writing_ = false;
    bool ended_ = false;
};

}  // namespace

void WebSocketServer::Impl::accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec) return;  // stopped
        const size_t connection = connections++;
        if (tls) {
            auto session = std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(
                *this, std::move(socket), connection);
            peers.push_back(session);
            session->start();
        } else {
            auto session =
                std::make_shared<Session<beast::tcp_stream>>(*this, std::move(socket), connection);
            peers.push_back(session);
            session->start();
        }
        accept();
    });
}

WebSocketServer::WebSocketServer() : impl_(std::make_shared<Impl>()) {}

WebSocketServer::WebSocketServer(const SelfSignedCertificate& cert) : WebSocketServer() {
    impl_->tls.emplace(net::ssl::context::tls_server);
    impl_->tls->use_certificate_chain_file(cert.certPath());
    impl_->tls->use_private_key_file(cert.keyPath(), net::ssl::context::pem);
}

WebSocketServer::~WebSocketServer() { stop(); }

void WebSocketServer::onUpgrade(UpgradeHandler handler, std::string refusalBody) {
    impl_->upgrade = std::move(handler);
    impl_->refusalBody = std::move(refusalBody);
}
void WebSocketServer::onOpen(OpenHandler handler) { impl_->open = std::move(handler); }
void WebSocketServer::onMessage(MessageHandler handler) { impl_->message = std::move(handler); }

bool WebSocketServer::start() {
    beast::error_code ec;
    const tcp::endpoint at(net::ip::make_address("127.0.0.1"), 0);
    impl_->acceptor.open(at.protocol(), ec);
    if (!ec) impl_->acceptor.bind(at, ec);
    if (!ec) impl_->acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) return false;
    impl_->port = impl_->acceptor.local_endpoint().port();
    impl_->accept();
    impl_->thread = std::thread([impl = impl_] { impl->ioc.run(); });
    return true;
}

void WebSocketServer::stop() {
    if (!impl_->thread.joinable()) return;
    net::post(impl_->ioc, [impl = impl_.get()] {
        beast::error_code ignored;
        impl->acceptor.close(ignored);
        for (auto& weak : impl->peers) {
            if (auto peer = weak.lock()) peer->drop();
        }
        impl->peers.clear();
        impl->ioc.stop();
    });
    impl_->thread.join();
    // Handlers cut short by the stop release their sessions here, while the server is whole.
    impl_->ioc.restart();
    impl_->ioc.poll();
}

int WebSocketServer::port() const { return impl_->port; }

std::string WebSocketServer::url(const std::string& pathAndQuery) const {
    return std::string(impl_->tls ? "wss" : "ws") + "://127.0.0.1:" + std::to_string(port()) +
           pathAndQuery;
}

std::string WebSocketServer::httpBase() const {
    return std::string(impl_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port());
}

std::vector<Upgrade> WebSocketServer::upgrades() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->upgrades;
}

std::vector<Received> WebSocketServer::messages() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->received;
}

size_t WebSocketServer::connectionsClosed() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->closed;
}

bool WebSocketServer::waitForClosed(size_t connections, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->closed >= connections; });
}

bool WebSocketServer::waitFor(const std::function<bool(const std::vector<Received>&)>& condition,
                              std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return condition(impl_->received); });
}

}  // namespace obs_sayline::test
