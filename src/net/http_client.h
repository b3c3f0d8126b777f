#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "core/result.h"
#include "net/http_types.h"

namespace obs_sayline {

class ConnectionPool;

// Synchronous HTTPS client over libcurl. One per engine or provider; execute() may run on
// several threads at once. A status of 400 or above is not a failure at this layer.
// Connections stay open between requests (HTTP/2 where the server speaks it) until idle for a
// minute; all are closed when the client goes.
class HttpClient {
public:
    explicit HttpClient(HttpClientConfig config = {});
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // A reply body longer than this is cut off and the attempt fails as InvalidResponse.
    static constexpr size_t kMaxResponseBytes = 4 * 1024 * 1024;

    // The whole call: retries, back-off and the circuit breaker around single attempts.
    Result<HttpResponse> execute(HttpRequest request);

    // POST with "Content-Type: application/json"; extraHeaders are copied over it.
    Result<HttpResponse> postJson(const std::string& url, const std::string& body,
                                  const std::map<std::string, std::string>& extraHeaders = {});

    const HttpClientConfig& config() const { return config_; }
    CircuitBreaker& circuitBreaker() { return *breaker_; }

    // Status to ErrorCode for a non-success response.
    static ErrorCode statusToErrorCode(int32_t status) noexcept;
    // Reason phrase, or "Unknown Status".
    static const char* statusText(int32_t status) noexcept;
    // "HTTP <status>: <reason>", for replies that carry no usable error text.
    static std::string fallbackErrorMessage(int32_t status);
    // Percent-escapes every byte but ASCII letters, digits and "-._~".
    static std::string urlEscape(const std::string& text);
    // 16 lower-case hex digits: 48 bits of wall-clock ms, then 16 bits of a process counter.
    static std::string generateRequestId();

private:
    Result<HttpResponse> performAttempt(const HttpRequest& request, int32_t attempt);

    HttpClientConfig config_;
    std::unique_ptr<CircuitBreaker> breaker_;
    std::unique_ptr<ConnectionPool> pool_;
};

}  // namespace obs_sayline
