#include "net/http_client.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "net/connection_pool.h"
#include "net/curl_handles.h"
#include "net/service_call_observer.h"

namespace obs_sayline {

namespace {

std::atomic<uint64_t> gRequestCounter{0};

bool isRetryableErrorCode(ErrorCode code) {
    switch (code) {
        case ErrorCode::NetworkError:
        case ErrorCode::ConnectionFailed:
        case ErrorCode::Timeout:
        case ErrorCode::RateLimitExceeded:
        case ErrorCode::ServiceUnavailable:
        case ErrorCode::DeviceBusy:
            return true;
        default:
            return false;
    }
}

bool isRetryableStatus(const RetryPolicy& policy, int32_t status) {
    for (int32_t s : policy.retryableStatuses) {
        if (s == status) return true;
    }
    return false;
}

}  // namespace

HttpClient::HttpClient(HttpClientConfig config)
    : config_(std::move(config)),
      breaker_(std::make_unique<CircuitBreaker>(config_.circuitBreaker)),
      pool_(std::make_unique<ConnectionPool>()) {}

HttpClient::~HttpClient() = default;

std::string HttpClient::generateRequestId() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    uint64_t ms =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    uint64_t counter = gRequestCounter.fetch_add(1) + 1;
    char text[17];
    std::snprintf(text, sizeof(text), "%012llx%04llx",
                  static_cast<unsigned long long>(ms & 0xFFFFFFFFFFFFULL),
                  static_cast<unsigned long long>(counter & 0xFFFFULL));
    return text;
}

std::string HttpClient::urlEscape(const std::string& text) {
    // May run before any client exists; libcurl's implicit initialisation is not thread-safe.
    curl::ensureGlobalInit();
    curl::EasyHandle handle(curl_easy_init());
    if (!handle) return text;
    curl::CurlString escaped(
        curl_easy_escape(handle.get(), text.data(), static_cast<int>(text.size())));
    if (!escaped) return text;
    return std::string(escaped.get());
}

Result<HttpResponse> HttpClient::postJson(const std::string& url, const std::string& body,
                                          const std::map<std::string, std::string>& extraHeaders) {
    HttpRequest request;
    request.method = HttpMethod::POST;
    request.url = url;
    request.body = body;
    request.setHeader("Content-Type", "application/json");
    for (const auto& [name, value] : extraHeaders) request.headers[name] = value;
    return execute(std::move(request));
}

Result<HttpResponse> HttpClient::execute(HttpRequest request) {
    if (request.requestId.empty()) request.requestId = generateRequestId();
    IServiceCallObserver* observer = currentServiceCallObserver();

    const bool breakerOn = breaker_->enabled();
    if (breakerOn && !breaker_->allowRequest()) {
        logWarning("[HTTP] Request blocked by circuit breaker [%s]", request.requestId.c_str());
        if (observer) observer->breakerOpen(breaker_->openRemaining());
        return Result<HttpResponse>(ErrorCode::ServiceUnavailable, "Circuit breaker is open");
    }

    const RetryPolicy policy = request.retryPolicy ? *request.retryPolicy : config_.retryPolicy;

    Result<HttpResponse> result(static_cast<ErrorCode>(1), "No attempt made");
    if (policy.maxRetries < 0) return result;

    for (int32_t i = 0; i <= policy.maxRetries; ++i) {
        if (i > 0) {
            int32_t delay = retryDelayMs(policy, i - 1);
            logDebug("[HTTP] Retry %d/%d after %dms [%s]", i, policy.maxRetries, delay,
                     request.requestId.c_str());
            if (observer && result.isError()) {
                observer->unreachable(std::chrono::milliseconds(delay));
            }
            if (!cancellableSleep(std::chrono::milliseconds(delay))) {
                // The worker is being stopped: no further attempt.
                return Result<HttpResponse>(ErrorCode::Cancelled,
                                            "HTTP request failed: Aborted by callback");
            }
        }

        result = performAttempt(request, i + 1);

        if (result.isError()) {
            const ErrorCode code = result.error().code;
            bool retry;
            if (code == ErrorCode::Timeout) {
                // retryOnTimeout alone decides for timeouts, whatever retryOnNetworkError says.
                retry = policy.retryOnTimeout && i < policy.maxRetries;
            } else if (!policy.retryOnNetworkError) {
                retry = false;
            } else {
                retry = isRetryableErrorCode(code) && i < policy.maxRetries;
            }
            if (retry) continue;
            // A cancelled call says nothing about the service's health.
            if (code == ErrorCode::Cancelled) return result;
            if (breakerOn) breaker_->recordFailure();
            if (observer) {
                observer->unreachable(std::chrono::milliseconds(0));
                if (breakerOn && breaker_->state() == CircuitState::Open) {
                    observer->breakerOpen(breaker_->openRemaining());
                }
            }
            return result;
        }

        const int32_t status = result.value().statusCode;
        if (!isRetryableStatus(policy, status) || i == policy.maxRetries) {
            if (breakerOn) breaker_->recordSuccess();
            if (observer) observer->answered(status);
            return result;
        }
        logDebug("[HTTP] Retryable status %d [%s]", status, request.requestId.c_str());
    }
    // Not reached: the last iteration always finishes.
    return result;
}

}  // namespace obs_sayline
