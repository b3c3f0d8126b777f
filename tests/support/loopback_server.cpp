#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>

namespace obs_sayline::test {

namespace {

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// httplib hands every accepted connection to its task queue; this one counts them.
class CountingTaskQueue : public httplib::TaskQueue {
public:
    explicit CountingTaskQueue(std::atomic<size_t>& count)
        : count_(count), pool_(CPPHTTPLIB_THREAD_POOL_COUNT) {}
    void enqueue(std::function<void()> fn) override {
        ++count_;
        pool_.enqueue(std::move(fn));
    }
    void shutdown() override { pool_.shutdown(); }

private:
    std::atomic<size_t>& count_;
    httplib::ThreadPool pool_;
};

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoreCase(key, name)) return value;
    }
    return {};
}

bool RecordedRequest::hasHeader(const std::string& name) const { return headerCount(name) > 0; }

size_t RecordedRequest::headerCount(const std::string& name) const {
    size_t n = 0;
    for (const auto& entry : headers) {
        if (equalsIgnoreCase(entry.first, name)) ++n;
    }
    return n;
}

std::string RecordedRequest::param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {
    installDispatch();
}

LoopbackServer::LoopbackServer(const SelfSignedCertificate& cert)
    : server_(
          std::make_unique<httplib::SSLServer>(cert.certPath().c_str(), cert.keyPath().c_str())),
      https_(true) {
    installDispatch();
}

LoopbackServer::~LoopbackServer() { stop(); }

LoopbackServer& LoopbackServer::on(const std::string& method, const std::string& pathPattern,
                                   Handler handler) {
    routes_.push_back({method, pathPattern, std::move(handler)});
    return *this;
}

LoopbackServer& LoopbackServer::onAny(Handler handler) { return on("*", ".*", std::move(handler)); }

void LoopbackServer::installDispatch() {
    // Keep stop() quick: idle keep-alive connections close after a second.
    server_->set_keep_alive_timeout(1);
    server_->set_keep_alive_max_count(100);
    // As real services do: without it a reply's second write waits for the client's delayed
    // acknowledgement of the first (40 ms on Linux).
    server_->set_tcp_nodelay(true);
    server_->new_task_queue = [this] { return new CountingTaskQueue(connections_); };
    auto plain = [this](const httplib::Request& req, httplib::Response& res) {
        dispatch(req, res, nullptr);
    };
    auto withReader = [this](const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader& reader) { dispatch(req, res, &reader); };
    server_->Get(".*", plain);  // also serves HEAD
    server_->Options(".*", plain);
    server_->Post(".*", withReader);
    server_->Put(".*", withReader);
    server_->Patch(".*", withReader);
    server_->Delete(".*", withReader);
}

void LoopbackServer::dispatch(const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader* reader) {
    httplib::Request full = req;
    RecordedRequest record;
    record.method = req.method;
    record.path = req.path;
    record.target = req.target;
    size_t q = req.target.find('?');
    if (q != std::string::npos) record.query = req.target.substr(q + 1);
    for (const auto& entry : req.headers) record.headers.emplace_back(entry.first, entry.second);
    record.params = req.params;

    if (reader) {
        if (req.is_multipart_form_data()) {
            (*reader)(
                [&](const httplib::MultipartFormData& part) {
                    record.parts.push_back({part.name, part.filename, part.content_type, {}});
                    return true;
                },
                [&](const char* data, size_t length) {
                    if (!record.parts.empty()) record.parts.back().content.append(data, length);
                    return true;
                });
            for (const auto& part : record.parts) {
                full.files.emplace(
                    part.name, httplib::MultipartFormData{part.name, part.content, part.filename,
                                                          part.contentType});
            }
        } else {
            (*reader)([&](const char* data, size_t length) {
                record.body.append(data, length);
                return true;
            });
            full.body = record.body;
        }
    } else {
        record.body = req.body;
    }

    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(record);
    }

    for (const Route& route : routes_) {
        if (route.method != "*" && route.method != req.method &&
            !(route.method == "GET" && req.method == "HEAD")) {
            continue;
        }
        // matches refer into full.path, which lives as long as the handler call.
        if (!std::regex_match(full.path, full.matches, std::regex(route.pattern))) continue;
        route.handler(full, res);
        return;
    }
    res.status = 404;
    res.set_content("no route", "text/plain");
}

bool LoopbackServer::start() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void LoopbackServer::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string LoopbackServer::baseUrl() const {
    return std::string(https_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string LoopbackServer::url(const std::string& pathAndQuery) const {
    return baseUrl() + pathAndQuery;
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t LoopbackServer::requestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

RecordedRequest LoopbackServer::lastRequest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? RecordedRequest{} : requests_.back();
}

void LoopbackServer::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

bool LoopbackServer::stall(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

int unusedLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace obs_sayline::test
