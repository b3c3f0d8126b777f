#include "sinks/youtube/test_caption.h"

#include <algorithm>
#include <chrono>

#include "core/logger.h"
#include "net/http_client.h"
#include "sinks/youtube/caption_request.h"

namespace obs_sayline {

namespace {
constexpr size_t kMaxBodyShown = 256;
}  // namespace

TestCaptionAnswer postTestCaption(const std::string& pastedUrl, const TestCaptionOptions& options) {
    TestCaptionAnswer answer;
    const CaptionUrlVerdict verdict = judgeCaptionUrl(pastedUrl);
    if (!verdict.accepted) {
        answer.refusal = verdict.refusal;
        return answer;
    }
    const CaptionUrl& url = *verdict.accepted;

    HttpClient client(captionClientConfig());
    CaptionAttemptLimits limits;
    limits.timeoutMs = options.timeoutMs;
    limits.connectTimeoutMs = std::min(options.timeoutMs, limits.connectTimeoutMs);
    limits.caBundlePath = options.caBundlePath;
    HttpRequest request =
        captionRequest(url, 1, {{std::chrono::system_clock::now(), kTestCaptionText}}, limits);

    const auto sentAt = std::chrono::steady_clock::now();
    Result<HttpResponse> result = client.execute(std::move(request));
    const auto roundTrip = std::chrono::steady_clock::now() - sentAt;
    answer.roundTripMs = std::chrono::duration_cast<std::chrono::milliseconds>(roundTrip).count();
    if (result.isError()) {
        answer.error = captionFailureReason(result.error().message);
        logInfoTag("YouTube", "Test caption to %s: no answer (%s)", url.host.c_str(),
                   answer.error.c_str());
        return answer;
    }
    const HttpResponse& response = result.value();
    answer.status = response.statusCode;
    answer.body = response.body.substr(0, kMaxBodyShown);
    if (const auto theirs = parseCaptionTime(response.body)) {
        const auto ours = std::chrono::system_clock::now() - roundTrip / 2;
        answer.clockOffsetMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(*theirs - ours).count();
    }
    logInfoTag("YouTube", "Test caption to %s: HTTP %d in %lld ms", url.host.c_str(),
               static_cast<int>(answer.status), static_cast<long long>(answer.roundTripMs));
    return answer;
}

}  // namespace obs_sayline
