#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "net/circuit_breaker.h"
#include "net/retry_policy.h"

namespace obs_sayline {

// <windows.h> (an access right) and glibc's <arpa/nameser_compat.h> define DELETE as a macro.
// The declaration hides it whatever was included before; a file that names HttpMethod::DELETE
// undefines DELETE after its last include (scripts/check-windows.sh fails a file that does not).
#pragma push_macro("DELETE")
#undef DELETE
enum class HttpMethod : int32_t {
    GET = 0,
    POST = 1,
    PUT = 2,
    DELETE = 3,
    PATCH = 4,
    HEAD = 5,
    OPTIONS = 6
};
#pragma pop_macro("DELETE")

// "GET", "POST", ...; "UNKNOWN" for any other value.
const char* httpMethodName(HttpMethod method) noexcept;

// One part of a multipart/form-data body. A part is a file part exactly when filename is set.
struct MultipartField {
    std::string name;
    std::string value;
    std::vector<uint8_t> data;
    std::string filename;
    std::string contentType;
};

struct HttpRequest {
    std::string url;
    HttpMethod method = HttpMethod::GET;
    std::map<std::string, std::string> headers;
    std::string body;
    std::map<std::string, std::string> queryParams;
    // Non-empty: the body is multipart/form-data; body and method are ignored.
    std::vector<MultipartField> multipartFields;
    int32_t connectTimeoutMs = 10000;
    int32_t timeoutMs = 60000;  // the whole transfer
    bool followRedirects = true;
    int32_t maxRedirects = 5;
    bool verifySsl = true;
    // Plain http may also go to a private-network host (10/8, 192.168/16, ".local", ...), not
    // only to this machine. Set only for a URL accepted under that rule (judgeServerUrl);
    // redirects from it stay https-only.
    bool allowPrivateHttp = false;
    std::string caBundlePath;  // empty: the client's, then the library default
    std::optional<RetryPolicy> retryPolicy;
    // (bytes received so far, bytes expected); false aborts the transfer.
    std::function<bool(int64_t, int64_t)> progressCallback;
    std::string requestId;  // filled by the client when empty
    std::string tag;        // short operation label for logs

    HttpRequest& setHeader(const std::string& name, const std::string& value);
    HttpRequest& addTextField(const std::string& name, const std::string& value);
    HttpRequest& addFileField(const std::string& name, const std::string& filename,
                              std::vector<uint8_t> data, const std::string& contentType);
};

struct HttpResponse {
    int32_t statusCode = 0;
    std::map<std::string, std::string> headers;  // lower-cased names
    std::string body;
    std::string contentType;
    int64_t contentLength = -1;
    int64_t totalTimeMs = 0;
    int64_t connectTimeMs = 0;
    int64_t transferTimeMs = 0;
    int32_t attempt = 0;  // 1-based
    std::string effectiveUrl;
    std::string requestId;
    std::string tag;

    bool isSuccess() const { return statusCode >= 200 && statusCode <= 299; }
};

struct HttpClientConfig {
    std::string userAgent = "obs-sayline/1.0";
    std::map<std::string, std::string> defaultHeaders;
    int32_t connectTimeoutMs = 10000;
    int32_t readTimeoutMs = 30000;
    int32_t requestTimeoutMs = 60000;
    RetryPolicy retryPolicy;
    CircuitBreakerConfig circuitBreaker;
    std::string caBundlePath;
    bool enableLogging = true;
    std::string proxyUrl;
    std::string proxyUsername;
    std::string proxyPassword;
};

}  // namespace obs_sayline
