#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "sinks/youtube/caption_poster_state.h"

namespace obs_sayline {
namespace caption_delivery {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kTag = kYouTubeLogTag;
// How often a back-off wait looks at the worker's token (unload).
constexpr milliseconds kWaitSlice{100};
// A clock further off YouTube's than this is worth a warning.
constexpr milliseconds kSkewWarning{2000};

bool isRetryableStatus(int32_t status) {
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

bool containsNoCase(const std::string& text, const char* needle) {
    const std::string lowerNeedle(needle);
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower.find(lowerNeedle) != std::string::npos;
}

std::string refusalSentence(int32_t status, const std::string& body) {
    if (status == 400 && containsNoCase(body, "skew")) {
        return "YouTube refused the captions (HTTP 400): their times are more than 60 s off "
               "YouTube's clock; check this computer's clock and the caption time offset";
    }
    return "YouTube refused the captions (HTTP " + std::to_string(status) +
           "): check the caption URL";
}

struct Batch {
    uint64_t generation = 0;
    uint64_t seq = 0;  // 0 until the first attempt
    CaptionUrl url;
    std::vector<TimedCaption> captions;
};

enum class Outcome { Taken, Retry, Refused, Abandoned };

// A report that throws is logged; delivery goes on.
template <typename Call>
void guardedReport(Call&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        logErrorTag(kTag, "Caption status report failed: %s", e.what());
    } catch (...) {
        logErrorTag(kTag, "Caption status report failed");
    }
}

}  // namespace

void reportPosted(State& s, Clock::time_point at) {
    std::lock_guard<std::mutex> lock(s.reportMutex);
    if (s.reportClosed || !s.report) return;
    guardedReport([&] { s.report->captionsPosted(at); });
}

void publishProblem(State& s) {
    std::lock_guard<std::mutex> lock(s.reportMutex);
    if (s.reportClosed) return;
    std::string problem;
    {
        std::lock_guard<std::mutex> state(s.mutex);
        problem = s.problemLocked();
    }
    if (problem == s.publishedProblem) return;
    s.publishedProblem = problem;
    if (s.report) guardedReport([&] { s.report->captionProblem(problem); });
}

void warnDrops(const State& s) {
    logWarningTag(kTag,
                  "Captions are waiting too long for YouTube: older ones are dropped (the newest "
                  "%zu are kept, none older than %lld s)",
                  s.options.queueLimit, static_cast<long long>(s.options.maxAge.count() / 1000));
}

// Readies the batch for an attempt: drops its captions that grew too old and gives it a seq on
// its first attempt. False when it is to be forgotten (nothing left, or the stream moved on).
namespace {

bool prepareAttempt(State& s, Batch& batch) {
    bool warn = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.generation.load() != batch.generation || s.gone) return false;
        const auto oldest = std::chrono::system_clock::now() - s.options.maxAge;
        auto& captions = batch.captions;
        const auto kept = std::remove_if(captions.begin(), captions.end(),
                                         [&](const TimedCaption& c) { return c.at < oldest; });
        warn = s.dropLocked(static_cast<size_t>(std::distance(kept, captions.end())));
        captions.erase(kept, captions.end());
        if (!captions.empty() && batch.seq == 0) batch.seq = s.nextSeq++;
    }
    if (warn) warnDrops(s);
    return !batch.captions.empty();
}

// Waits before a retry; false when the batch is to be forgotten instead.
bool waitBeforeRetry(State& s, uint64_t generation, milliseconds delay) {
    const auto until = Clock::now() + delay;
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        if (s.gone || s.generation.load() != generation || currentWorkCancelled()) return false;
        const auto now = Clock::now();
        if (now >= until) return true;
        s.wake.wait_for(lock, std::min<Clock::duration>(kWaitSlice, until - now));
    }
}

void checkClock(State& s, const std::string& body, milliseconds roundTrip) {
    const auto theirs = parseCaptionTime(body);
    if (!theirs) return;
    // Their clock was read about half a round trip ago.
    const auto ours = std::chrono::system_clock::now() - roundTrip / 2;
    const auto offset = std::chrono::duration_cast<milliseconds>(*theirs - ours);
    if (offset < kSkewWarning && offset > -kSkewWarning) return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (std::exchange(s.skewWarned, true)) return;
    }
    logWarningTag(kTag,
                  "This computer's clock is %.1f s %s YouTube's: captions may show at the wrong "
                  "time (over 60 s off, YouTube refuses them); set the clock right",
                  std::fabs(static_cast<double>(offset.count()) / 1000.0),
                  offset.count() > 0 ? "behind" : "ahead of");
}

Outcome taken(State& s, const Batch& batch, const HttpResponse& response, milliseconds rtt) {
    bool recovered = false;
    const auto now = Clock::now();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.generation.load() != batch.generation) return Outcome::Abandoned;
        s.stats.posts += 1;
        s.stats.captions += batch.captions.size();
        s.roundTripTotalMs += rtt.count();
        s.stats.meanRoundTripMs = s.roundTripTotalMs / static_cast<int64_t>(s.stats.posts);
        s.lastPost = now;
        recovered = !std::exchange(s.deliveryProblem, std::string()).empty();
        s.dropping = false;
    }
    logDebugTag(kTag, "Post %llu: %zu caption(s) taken by %s in %lld ms",
                static_cast<unsigned long long>(batch.seq), batch.captions.size(),
                batch.url.host.c_str(), static_cast<long long>(rtt.count()));
    if (recovered) logInfoTag(kTag, "Captions get through to %s again", batch.url.host.c_str());
    checkClock(s, response.body, rtt);
    reportPosted(s, now);
    publishProblem(s);
    return Outcome::Taken;
}

// A failed attempt: the problem it makes (from the second failure of a post on, so that a
// failure one retry mends goes unreported), and whether to try again.
Outcome failed(State& s, const Batch& batch, int attempt, const std::string& problem, bool retry) {
    bool log = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.generation.load() != batch.generation) return Outcome::Abandoned;
        if (!retry) s.stats.refused += batch.captions.size();
        if (!retry || attempt > 0) log = std::exchange(s.deliveryProblem, problem) != problem;
    }
    if (log) logWarningTag(kTag, "Captions to %s: %s", batch.url.host.c_str(), problem.c_str());
    publishProblem(s);
    return retry ? Outcome::Retry : Outcome::Refused;
}

Outcome attemptPost(State& s, const Batch& batch, int attempt) {
    CaptionAttemptLimits limits;
    limits.connectTimeoutMs = s.options.connectTimeoutMs;
    limits.timeoutMs = s.options.attemptTimeoutMs;
    limits.caBundlePath = s.options.caBundlePath;
    HttpRequest request = captionRequest(batch.url, batch.seq, batch.captions, limits);
    const uint64_t generation = batch.generation;
    request.progressCallback = [state = &s, generation](int64_t, int64_t) {
        return state->generation.load() == generation;
    };

    const auto sentAt = Clock::now();
    if (!s.client) s.client = std::make_unique<HttpClient>(captionClientConfig());
    Result<HttpResponse> result = s.client->execute(std::move(request));
    const auto rtt = std::chrono::duration_cast<milliseconds>(Clock::now() - sentAt);

    if (result.isError()) {
        if (result.error().code == ErrorCode::Cancelled) return Outcome::Abandoned;
        return failed(s, batch, attempt,
                      "YouTube's caption server cannot be reached (" +
                          captionFailureReason(result.error().message) + "): retrying",
                      true);
    }
    const HttpResponse& response = result.value();
    if (response.isSuccess()) return taken(s, batch, response, rtt);
    if (isRetryableStatus(response.statusCode)) {
        return failed(s, batch, attempt,
                      "YouTube did not take the captions (HTTP " +
                          std::to_string(response.statusCode) + "): retrying",
                      true);
    }
    return failed(s, batch, attempt, refusalSentence(response.statusCode, response.body), false);
}

void sendBatch(State& s, Batch& batch) {
    RetryPolicy backoff;
    backoff.strategy = BackoffStrategy::Exponential;
    backoff.initialDelayMs = s.options.firstRetryDelayMs;
    backoff.maxDelayMs = s.options.maxRetryDelayMs;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0) {
            const milliseconds delay(retryDelayMs(backoff, std::min(attempt - 1, 30)));
            if (!waitBeforeRetry(s, batch.generation, delay)) return;
        }
        if (!prepareAttempt(s, batch)) return;
        if (attempt > 0) {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stats.retries += 1;
        }
        if (attemptPost(s, batch, attempt) != Outcome::Retry) return;
    }
}

}  // namespace

void runPoster(const std::shared_ptr<State>& s) {
    for (;;) {
        Batch batch;
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (!s->postingLocked() || s->queue.empty() || currentWorkCancelled()) {
                // Leaving under the lock: captions queued from now on start a new worker.
                s->workerRunning = false;
                return;
            }
            batch.generation = s->generation.load();
            batch.url = *s->url;
            batch.captions.assign(std::make_move_iterator(s->queue.begin()),
                                  std::make_move_iterator(s->queue.end()));
            s->queue.clear();
        }
        sendBatch(*s, batch);
    }
}

}  // namespace caption_delivery
}  // namespace obs_sayline
