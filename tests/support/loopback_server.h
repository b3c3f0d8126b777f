#pragma once

// In-process HTTP and HTTPS servers on 127.0.0.1 for tests that make real transfers.
//
//   LoopbackServer server;                       // or LoopbackServer server(certificate);
//   server.on("POST", "/v1/echo", [](const httplib::Request& req, httplib::Response& res) {
//       res.set_content(req.body, "text/plain");
//   });
//   ASSERT_TRUE(server.start());                 // binds an ephemeral port, waits until listening
//   ... client.execute(... server.url("/v1/echo?x=1") ...)
//   RecordedRequest got = server.lastRequest();  // what arrived: method, target, headers, body,
//                                                // multipart parts in the order they were sent
//
// Every request is recorded before its handler runs, so a handler that stalls or fails still
// leaves a record. Handlers see req.body and req.files filled as usual. A request that matches
// no route gets 404 "no route"; req.matches holds the route pattern's capture groups. Handlers run
// on the server's worker threads; keep their shared state atomic or locked. stop() (also run by the
// destructor) wakes handlers blocked in stall().

#include <httplib.h>
// <arpa/nameser_compat.h>, pulled in by httplib, defines DELETE, which breaks HttpMethod::DELETE.
#ifdef DELETE
#undef DELETE
#endif

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace obs_sayline::test {

struct RecordedPart {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;  // exact bytes
};

struct RecordedRequest {
    std::string method;  // "HEAD" arrives as HEAD
    std::string path;    // decoded, without the query
    std::string target;  // as sent on the request line, query included
    std::string query;   // raw text after '?', empty when none
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order, names as sent
    std::multimap<std::string, std::string> params;            // decoded query parameters
    std::string body;                                          // raw body (empty for multipart)
    std::vector<RecordedPart> parts;                           // multipart parts in arrival order

    // First value of a header (names compare case-insensitively), "" when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    size_t headerCount(const std::string& name) const;
    std::string param(const std::string& name) const;
};

// A self-signed certificate for 127.0.0.1 and localhost (EC P-256), written as PEM files into a
// fresh temporary directory that is removed again with the object. caBundlePath() is the file
// to trust it with.
class SelfSignedCertificate {
public:
    SelfSignedCertificate();
    ~SelfSignedCertificate();
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;

    bool valid() const { return valid_; }
    const std::string& certPath() const { return certPath_; }
    const std::string& keyPath() const { return keyPath_; }
    const std::string& caBundlePath() const { return certPath_; }

private:
    std::string dir_;
    std::string certPath_;
    std::string keyPath_;
    bool valid_ = false;
};

class LoopbackServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    LoopbackServer();                                            // plain HTTP
    explicit LoopbackServer(const SelfSignedCertificate& cert);  // HTTPS
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Routes are matched in the order they were added: method ("GET", "POST", ..., or "*" for
    // any) and a regular expression over the whole decoded path. Add them before start().
    LoopbackServer& on(const std::string& method, const std::string& pathPattern, Handler handler);
    // Shorthand for on("*", ".*", handler).
    LoopbackServer& onAny(Handler handler);

    // Binds 127.0.0.1 on an ephemeral port and serves on a thread; returns once listening.
    bool start();
    void stop();

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" (https for the TLS server), no trailing slash.
    std::string baseUrl() const;
    // baseUrl() + pathAndQuery.
    std::string url(const std::string& pathAndQuery) const;

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;
    // The most recent request; an empty record when none arrived.
    RecordedRequest lastRequest() const;
    void clearRequests();

    // For handlers: waits `ms` milliseconds or until stop(); true when the whole time passed.
    bool stall(int ms);

    // Connections accepted so far; over HTTPS each one is one TLS handshake. A connection
    // stays open for up to 100 requests and closes after a second without one.
    size_t connectionCount() const { return connections_.load(); }

private:
    struct Route {
        std::string method;
        std::string pattern;
        Handler handler;
    };

    void installDispatch();
    void dispatch(const httplib::Request& req, httplib::Response& res,
                  const httplib::ContentReader* reader);

    std::unique_ptr<httplib::Server> server_;
    bool https_ = false;
    std::vector<Route> routes_;
    std::atomic<size_t> connections_{0};
    std::thread thread_;
    int port_ = -1;

    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::condition_variable stopCv_;
    bool stopping_ = false;
};

// A loopback port with nothing listening on it (bound once, then closed).
int unusedLoopbackPort();

}  // namespace obs_sayline::test
