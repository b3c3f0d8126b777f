#include "sinks/youtube/caption_request.h"

namespace obs_sayline {

HttpClientConfig captionClientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (YouTubeCaptions)";
    config.enableLogging = false;
    config.circuitBreaker.enabled = false;
    return config;
}

HttpRequest captionRequest(const CaptionUrl& url, uint64_t seq,
                           const std::vector<TimedCaption>& captions,
                           const CaptionAttemptLimits& limits) {
    HttpRequest request;
    request.url = captionPostUrl(url, seq);
    request.method = HttpMethod::POST;
    request.body = captionBody(captions);
    request.setHeader("Content-Type", "text/plain");
    request.connectTimeoutMs = limits.connectTimeoutMs;
    request.timeoutMs = limits.timeoutMs;
    request.followRedirects = false;
    request.allowPrivateHttp = url.allowPrivateHttp;
    request.caBundlePath = limits.caBundlePath;
    RetryPolicy once;
    once.maxRetries = 0;
    request.retryPolicy = once;
    request.tag = "youtube-captions";
    return request;
}

std::string captionFailureReason(const std::string& message) {
    static const std::string kPrefix = "HTTP request failed: ";
    if (message.compare(0, kPrefix.size(), kPrefix) == 0) return message.substr(kPrefix.size());
    return message;
}

}  // namespace obs_sayline
