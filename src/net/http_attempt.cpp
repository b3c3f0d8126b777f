// One attempt: build a libcurl transfer from the request, perform it, and collect the reply.
#include <algorithm>
#include <chrono>
#include <string>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "net/connection_pool.h"
#include "net/curl_handles.h"
#include "net/endpoint.h"
#include "net/http_client.h"
#include "net/response_headers.h"
#include "net/transport_error.h"

// <curl/curl.h> brings <windows.h> on Windows; see HttpMethod.
#undef DELETE

namespace obs_sayline {

namespace {

// Keeps a value from smuggling extra header lines: CR and LF go wherever they are, then
// trailing blanks and tabs.
std::string sanitizeHeaderValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c != '\r' && c != '\n') out += c;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

std::string buildUrl(const HttpRequest& request) {
    std::string url = request.url;
    if (request.queryParams.empty()) return url;
    url += url.find('?') == std::string::npos ? '?' : '&';
    bool first = true;
    for (const auto& [name, value] : request.queryParams) {
        if (!first) url += '&';
        first = false;
        url += HttpClient::urlEscape(name);
        url += '=';
        url += HttpClient::urlEscape(value);
    }
    return url;
}

bool appendHeaders(curl::HeaderList& list, const std::map<std::string, std::string>& headers) {
    for (const auto& [name, value] : headers) {
        std::string line = name + ": " + sanitizeHeaderValue(value);
        if (!curl::appendHeader(list, line.c_str())) return false;
    }
    return true;
}

struct TransferState {
    HttpResponse* response;
    const std::function<bool(int64_t, int64_t)>* progress;
    bool tooLarge = false;
};

constexpr size_t kMaxBody = HttpClient::kMaxResponseBytes;

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<TransferState*>(user);
    size_t bytes = size * count;
    std::string& body = state->response->body;
    if (bytes > kMaxBody - body.size()) {
        state->tooLarge = true;
        return 0;  // libcurl ends the transfer with a write error
    }
    try {
        // Grow geometrically, but never past the limit.
        if (body.size() + bytes > body.capacity()) {
            body.reserve(std::min(kMaxBody, std::max(body.capacity() * 2, body.size() + bytes)));
        }
        body.append(data, bytes);
    } catch (...) {
        return 0;  // libcurl turns a short count into a write error
    }
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<TransferState*>(user);
    size_t bytes = size * count;
    try {
        parseResponseHeaderLine(data, bytes, state->response->headers);
    } catch (...) {
        return 0;
    }
    return bytes;
}

// Runs on the thread that performs the transfer, so the worker's own token decides.
int onProgress(void* user, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t,
               curl_off_t) {
    if (currentWorkCancelled()) return 1;
    auto* state = static_cast<TransferState*>(user);
    if (!*state->progress) return 0;
    try {
        return (*state->progress)(static_cast<int64_t>(downloadNow),
                                  static_cast<int64_t>(downloadTotal))
                   ? 0
                   : 1;
    } catch (...) {
        return 1;  // an exception must not unwind through libcurl; treat it as an abort
    }
}

struct Protocols {
    const char* request;
    const char* redirect;
};

// Only https leaves this machine, so an API key never crosses a network in clear text;
// plain http is allowed to a loopback host (test servers, local gateways), and to a
// private-network host when the request carries that allowance. The host is taken with
// libcurl's own parser so that it is the host the transfer connects to.
Protocols allowedProtocols(const std::string& url, bool allowPrivateHttp) {
    const Protocols httpsOnly{"https", "https"};
    curl::UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(),
                                CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return httpsOnly;  // libcurl refuses it too
    }
    char* scheme = nullptr;
    char* host = nullptr;
    curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0);
    curl::CurlString schemeText(scheme);
    curl_url_get(parsed.get(), CURLUPART_HOST, &host, CURLU_PUNYCODE);
    curl::CurlString hostText(host);
    if (!schemeText || !hostText || std::string(schemeText.get()) != "http") return httpsOnly;
    if (isLoopbackHost(hostText.get())) return {"http,https", "http,https"};
    if (allowPrivateHttp && isPrivateNetworkHost(hostText.get())) return {"http,https", "https"};
    return httpsOnly;
}

std::string responseTooLargeText() {
    return "Response too large (over " + std::to_string(kMaxBody) + " bytes)";
}

// Builds the MIME body; null when libcurl could not allocate a part.
curl::MimeBody buildMime(CURL* handle, const std::vector<MultipartField>& fields) {
    curl::MimeBody mime(curl_mime_init(handle));
    if (!mime) return nullptr;
    static const char kEmpty[] = "";
    for (const MultipartField& field : fields) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        if (!part) return nullptr;
        curl_mime_name(part, field.name.c_str());
        if (!field.filename.empty()) {
            const char* bytes =
                field.data.empty() ? kEmpty : reinterpret_cast<const char*>(field.data.data());
            curl_mime_data(part, bytes, field.data.size());
            curl_mime_filename(part, field.filename.c_str());
            if (!field.contentType.empty()) curl_mime_type(part, field.contentType.c_str());
        } else {
            curl_mime_data(part, field.value.c_str(), CURL_ZERO_TERMINATED);
        }
    }
    return mime;
}

void applyMethodAndBody(CURL* handle, const HttpRequest& request) {
    switch (request.method) {
        case HttpMethod::GET:
            curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
            break;
        case HttpMethod::POST:
            curl_easy_setopt(handle, CURLOPT_POST, 1L);
            break;
        case HttpMethod::PUT:
        case HttpMethod::DELETE:
        case HttpMethod::PATCH:
        case HttpMethod::OPTIONS:
            curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, httpMethodName(request.method));
            break;
        case HttpMethod::HEAD:
            curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
            break;
    }
    if (!request.body.empty()) {
        // The size first, so binary bodies with NUL bytes are copied whole.
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, request.body.data());
    } else if (request.method == HttpMethod::POST) {
        // Without an explicit empty body libcurl would read the POST body from stdin.
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
    }
}

}  // namespace

Result<HttpResponse> HttpClient::performAttempt(const HttpRequest& request, int32_t attempt) {
    // Declared before the handle so they are released after it goes back to the pool.
    curl::MimeBody mime;
    curl::HeaderList headers;
    ConnectionPool::Handle handle = pool_->acquire();
    if (!handle)
        return Result<HttpResponse>(ErrorCode::InternalError, "Failed to initialize CURL handle");
    CURL* h = handle.get();

    HttpResponse response;
    response.attempt = attempt;
    response.requestId = request.requestId;
    response.tag = request.tag;
    response.contentLength = -1;

    const std::string url = buildUrl(request);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());

    if (request.multipartFields.empty()) {
        applyMethodAndBody(h, request);
    } else {
        mime = buildMime(h, request.multipartFields);
        if (!mime) {
            return Result<HttpResponse>(ErrorCode::InternalError,
                                        "HTTP request failed: Out of memory");
        }
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
    }

    bool headersOk =
        appendHeaders(headers, config_.defaultHeaders) && appendHeaders(headers, request.headers);
    // An empty "Expect:" stops libcurl from waiting for a 100-continue before the upload.
    if (headersOk && !request.multipartFields.empty()) {
        headersOk = curl::appendHeader(headers, "Expect:");
    }
    if (!headersOk) {
        return Result<HttpResponse>(ErrorCode::InternalError, "HTTP request failed: Out of memory");
    }

    // HTTP/2 when the server offers it over TLS, HTTP/1.1 otherwise.
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    // A connection idle this long is closed rather than reused: by then a server or a NAT on
    // the way may have dropped it.
    curl_easy_setopt(h, CURLOPT_MAXAGE_CONN,
                     static_cast<long>(ConnectionPool::kMaxIdle.count()));
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_USERAGENT, config_.userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
    // A stalled upload or download ends after 30 s below 1 byte/s instead of hanging.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 30L);
    // Timeouts must not use signals: execute runs on several threads.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
    const Protocols protocols = allowedProtocols(url, request.allowPrivateHttp);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols.request);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, protocols.redirect);
    // A reply that announces more than the limit is refused before its body arrives; one
    // without a length is cut off by onBody.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBody));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, request.verifySsl ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, request.verifySsl ? 2L : 0L);
    if (!request.caBundlePath.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, request.caBundlePath.c_str());
    } else if (!config_.caBundlePath.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, config_.caBundlePath.c_str());
    }
    std::string proxyCredentials;
    if (!config_.proxyUrl.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, config_.proxyUrl.c_str());
        if (!config_.proxyUsername.empty()) {
            proxyCredentials = config_.proxyUsername + ":" + config_.proxyPassword;
            curl_easy_setopt(h, CURLOPT_PROXYUSERPWD, proxyCredentials.c_str());
        }
    }

    TransferState state{&response, &request.progressCallback};
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &state);
    // Always on: a cancelled worker ends its transfer here. libcurl calls it at least about
    // once a second even while nothing arrives (the low-speed check above wakes it).
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPIDLE, 60L);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPINTVL, 60L);

    if (request.tag == "whisper-transcription") {
        logDebug("[HTTP] Whisper request (HTTP/2 or HTTP/1.1): fields=%zu",
                 request.multipartFields.size());
    } else if (request.tag == "gemini-translate") {
        logDebug("[HTTP] Gemini request (HTTP/2 or HTTP/1.1): body_size=%zu", request.body.size());
    }
    if (config_.enableLogging) {
        // Three services carry their API key in the query; the log gets it redacted.
        logDebug("[HTTP] %s %s [%s] attempt=%d", httpMethodName(request.method),
                 redactUrlForLog(url).c_str(), request.requestId.c_str(), attempt);
    }

    auto started = std::chrono::steady_clock::now();
    CURLcode rc = curl_easy_perform(h);
    auto finished = std::chrono::steady_clock::now();
    response.totalTimeMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(finished - started).count();

    double connectSeconds = 0.0;
    if (curl_easy_getinfo(h, CURLINFO_CONNECT_TIME, &connectSeconds) == CURLE_OK) {
        response.connectTimeMs = static_cast<int64_t>(connectSeconds * 1000.0);
    }
    response.transferTimeMs = response.totalTimeMs - response.connectTimeMs;
    const char* effectiveUrl = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effectiveUrl) == CURLE_OK && effectiveUrl) {
        response.effectiveUrl = effectiveUrl;
    }

    if (rc != CURLE_OK) {
        TransportError error =
            state.tooLarge || rc == CURLE_FILESIZE_EXCEEDED
                ? TransportError{ErrorCode::InvalidResponse, responseTooLargeText()}
                : mapTransportError(static_cast<int>(rc));
        logWarning("[HTTP] CURL error: %s (code %d) [%s] %lldms", error.text.c_str(),
                   static_cast<int>(rc), request.requestId.c_str(),
                   static_cast<long long>(response.totalTimeMs));
        return Result<HttpResponse>(error.code, "HTTP request failed: " + error.text);
    }

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.statusCode = static_cast<int32_t>(status);
    const char* contentType = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType) {
        response.contentType = contentType;
    }
    curl_off_t length = -1;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
        response.contentLength = static_cast<int64_t>(length);
    }

    if (config_.enableLogging) {
        logDebug("[HTTP] %d %s [%s] %lldms %zuB", response.statusCode,
                 statusText(response.statusCode), request.requestId.c_str(),
                 static_cast<long long>(response.totalTimeMs), response.body.size());
    }
    return Result<HttpResponse>(std::move(response));
}

}  // namespace obs_sayline
