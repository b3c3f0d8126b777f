#include "live/deepgram_stream.h"

#include <algorithm>
#include <deque>
#include <optional>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "net/json_reply.h"
#include "net/websocket_client.h"
#include "stt/deepgram_engine.h"
#include "stt/deepgram_live_protocol.h"
#include "stt/stt_service_client.h"
#include "stt/vocabulary.h"

namespace obs_sayline {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the worker looks at the outbox and its clocks while the socket is idle.
constexpr milliseconds kSlice{10};
// A connection that drops sooner than this after opening counts as a failed attempt, so a
// service that accepts and closes at once is not hammered.
constexpr milliseconds kShortLived{1000};
constexpr size_t kMaxSpans = 512;

// Where the service's audio (only what was sent on this connection) sits on the capture's
// audio clock: silence is not sent, so the two part at every gap.
class Timeline {
public:
    void reset() {
        spans_.clear();
        streamedMs_ = 0;
    }
    void add(uint64_t clockMs, uint64_t lengthMs) {
        if (!spans_.empty() && spans_.back().clockMs + spans_.back().lengthMs == clockMs) {
            spans_.back().lengthMs += lengthMs;
        } else {
            spans_.push_back({streamedMs_, clockMs, lengthMs});
            if (spans_.size() > kMaxSpans) spans_.pop_front();
        }
        streamedMs_ += lengthMs;
    }
    uint64_t clockOf(double streamSeconds) const {
        const auto at = static_cast<uint64_t>(std::max<int64_t>(0, secondsToMs(streamSeconds)));
        for (auto it = spans_.rbegin(); it != spans_.rend(); ++it) {
            if (it->streamMs <= at) return it->clockMs + std::min(at - it->streamMs, it->lengthMs);
        }
        return spans_.empty() ? at : spans_.front().clockMs;
    }

private:
    struct Span {
        uint64_t streamMs;
        uint64_t clockMs;
        uint64_t lengthMs;
    };
    std::deque<Span> spans_;
    uint64_t streamedMs_ = 0;
};

bool retryableStatus(const RetryPolicy& policy, int status) {
    return std::find(policy.retryableStatuses.begin(), policy.retryableStatuses.end(), status) !=
           policy.retryableStatuses.end();
}

// Languages written without spaces between words.
std::string separatorFor(const std::string& language) {
    return language == "ja" || language == "zh" ? "" : " ";
}

// The stream's URL, keyterms and profanity filter included; a vocabulary past the service's
// limit is cut once here.
std::string streamUrl(const StreamingSetup& streaming) {
    VocabularyFit fit = deepgramVocabularyQuery(deepgram_live::kModel, streaming.vocabulary,
                                                streaming.profanityFilter);
    if (fit.left > 0) {
        logDebugTag("STT", "Deepgram stream vocabulary: %zu keyterms sent, %zu left out", fit.sent,
                    fit.left);
    }
    return deepgramLiveUrl(streaming.baseUrl, streaming.language, streaming.pauseMs, fit.text);
}

class Stream {
public:
    Stream(StreamState& state, const StreamingSetup& streaming, const RecognitionSetup& setup,
           SourceShared& shared, const SubtitleSinks& sinks)
        : state_(state),
          streaming_(streaming),
          setup_(setup),
          shared_(shared),
          sinks_(sinks),
          lines_(separatorFor(streaming.language)),
          breaker_(streaming.breaker),
          url_(streamUrl(streaming)) {
        spare_.reserve(StreamOutbox::kSlotBytes);
        socket_.onText([this](const std::string& text) { onMessage(text); });
    }

    void run() {
        for (;;) {
            if (currentWorkCancelled()) {
                socket_.abort();
                return;
            }
            const Clock::time_point now = Clock::now();
            if (!deadline_ && state_.outbox.finishing()) deadline_ = now + streaming_.closeWait;
            if (deadline_ && now >= *deadline_) {
                if (socket_.state() == WebSocketState::Open || state_.outbox.holdsAny()) {
                    logWarningTag("STT", "Deepgram stream closed before its last results");
                }
                socket_.abort();
                return;
            }
            if (finalizeSentAt_ && now - *finalizeSentAt_ >= streaming_.finalizeWait) {
                finalizeSentAt_.reset();
                settle();
                noteSettled();
            }
            switch (socket_.state()) {
                case WebSocketState::Idle:
                case WebSocketState::Closed:
                    if (!whileClosed(now)) return;
                    break;
                case WebSocketState::Connecting:
                    socket_.poll(kSlice);
                    if (socket_.state() == WebSocketState::Open) opened();
                    break;
                case WebSocketState::Open:
                    sendHeld(now);
                    socket_.poll(kSlice);
                    break;
            }
        }
    }

    // Whatever is settled becomes a line; nothing more will come.
    void end() {
        settle();
        state_.speechOpen.store(false);
        reportDropped();
    }

private:
    // False when the stream is over.
    bool whileClosed(Clock::time_point now) {
        if (attempting_) {
            attempting_ = false;
            if (wasOpen_) {
                if (!dropped(now)) return false;
            } else if (!failed(now)) {
                return false;
            }
        }
        if (state_.outbox.finishing() && !state_.outbox.holdsAny()) return false;
        if (now < nextAttempt_) {
            cancellableSleep(std::min<milliseconds>(
                kSlice, std::chrono::duration_cast<milliseconds>(nextAttempt_ - now)));
            return true;
        }
        if (!breaker_.allowRequest()) {
            nextAttempt_ = now + milliseconds(100);
            return true;
        }
        return connect();
    }

    bool connect() {
        const std::string key = resolveApiKey(streaming_.apiKey, {"DEEPGRAM_API_KEY"});
        if (key.empty()) {
            logErrorTag("STT",
                        "Deepgram API key not configured. Set it in the source's settings or "
                        "DEEPGRAM_API_KEY.");
            return false;
        }
        WebSocketOptions options;
        options.url = url_;
        options.headers = {{"Authorization", "Token " + key}};
        options.userAgent = "obs-sayline/1.0 (Deepgram live)";
        options.caBundlePath = streaming_.caBundlePath;
        logDebugTag("STT", "Deepgram stream connecting: %s", url_.c_str());
        attempting_ = true;
        wasOpen_ = false;
        if (!socket_.open(options)) {
            logErrorTag("STT", "Deepgram stream cannot connect: %s", socket_.end().message.c_str());
            return false;
        }
        return true;
    }

    void opened() {
        wasOpen_ = true;
        openedAt_ = Clock::now();
        lastSent_ = openedAt_;
        breaker_.recordSuccess();
        if (failures_ > 0 || reconnecting_) {
            logInfoTag("STT", "Deepgram stream connected again");
        } else {
            logInfoTag("STT", "Deepgram stream connected");
        }
        failures_ = 0;
        reconnecting_ = false;
        timeline_.reset();
        closeStreamSent_ = false;
        reportDropped();
    }

    // The open connection ended. False when that was the end of the stream.
    bool dropped(Clock::time_point now) {
        if (closeStreamSent_) return false;  // the service closed after the last results
        const WebSocketEnd& why = socket_.end();
        logWarningTag("STT", "Deepgram stream lost (%s) - reconnecting", why.message.c_str());
        // Words settled on the old connection are complete; the new one starts afresh.
        finalizeSentAt_.reset();
        settle();
        reconnecting_ = true;
        if (now - openedAt_ < kShortLived) return failed(now);
        nextAttempt_ = now;
        return true;
    }

    // A connection attempt failed. False when trying again cannot help.
    bool failed(Clock::time_point now) {
        const WebSocketEnd& why = socket_.end();
        const RetryPolicy& policy = streaming_.retry;
        const int status = why.upgradeStatus;
        if (status == 401 || status == 403) {
            logErrorTag("STT", "Deepgram refused the API key (HTTP %d) - check the STT API key",
                        status);
            return false;
        }
        const bool retryable = status != 0 ? retryableStatus(policy, status)
                                           : (why.timedOut ? policy.retryOnTimeout
                                                           : policy.retryOnNetworkError);
        if (!retryable) {
            logErrorTag("STT", "Deepgram refused the stream (HTTP %d): %s", status,
                        deepgramErrorMessage(status, why.upgradeBody).c_str());
            return false;
        }
        logWarningTag("STT", "Deepgram stream connection failed: %s", why.message.c_str());
        ++failures_;
        int32_t delay;
        if (failures_ > policy.maxRetries) {
            // As a request that used up its retries: the breaker hears of it, and the next
            // round waits one more step.
            breaker_.recordFailure();
            failures_ = 0;
            delay = retryDelayMs(policy, std::max(policy.maxRetries, 0));
        } else {
            delay = retryDelayMs(policy, failures_ - 1);
        }
        nextAttempt_ = now + milliseconds(delay);
        return true;
    }

    void sendHeld(Clock::time_point now) {
        uint64_t startMs = 0;
        for (;;) {
            const StreamOutbox::Entry entry = state_.outbox.take(spare_, startMs);
            if (entry == StreamOutbox::Entry::None) break;
            if (entry == StreamOutbox::Entry::Pause) {
                socket_.sendText(deepgram_live::kFinalize);
                finalizeSentAt_ = now;
            } else {
                timeline_.add(startMs, spare_.size() / 32);  // 32 bytes a millisecond
                state_.speechOpen.store(true);
                socket_.sendBinary(std::move(spare_));
                spare_ = std::string();
                spare_.reserve(StreamOutbox::kSlotBytes);
            }
            lastSent_ = now;
        }
        if (deadline_ && !closeStreamSent_) {
            socket_.sendText(deepgram_live::kCloseStream);
            closeStreamSent_ = true;
            lastSent_ = now;
        } else if (!closeStreamSent_ && now - lastSent_ >= streaming_.keepAliveEvery) {
            socket_.sendText(deepgram_live::kKeepAlive);
            lastSent_ = now;
        }
    }

    void onMessage(const std::string& text) {
        auto parsed = parseDeepgramLiveMessage(text);
        if (!parsed) {
            logErrorTag("STT", "%s", parsed.error().message.c_str());
            return;
        }
        const LiveMessage& message = parsed.value();
        switch (message.kind) {
            case LiveMessageKind::Results:
                onResult(message.result);
                break;
            case LiveMessageKind::Error:
                logErrorTag("STT", "Deepgram error: %s", message.details.c_str());
                break;
            case LiveMessageKind::Metadata:
            case LiveMessageKind::SpeechStarted:
            case LiveMessageKind::UtteranceEnd:
                break;  // nothing to do: the results carry what matters
            case LiveMessageKind::Other:
                logDebugTag("STT", "Deepgram message ignored: %s", message.type.c_str());
                break;
        }
    }

    void onResult(const LiveResult& result) {
        if (result.fromFinalize) finalizeSentAt_.reset();
        const uint64_t startMs = timeline_.clockOf(result.startSeconds);
        const uint64_t endMs = timeline_.clockOf(result.startSeconds + result.durationSeconds);
        LineAssembler::Step step = lines_.add(result, startMs, endMs);
        if (step.showing) show(*step.showing, startMs, endMs);
        if (step.done) finished(std::move(*step.done));
        noteSettled();
    }

    // Nothing sent is still waiting for its words.
    void noteSettled() {
        if (!lines_.holdsWords() && !finalizeSentAt_ && !state_.outbox.holdsAny()) {
            state_.speechOpen.store(false);
        }
    }

    void show(const std::string& text, uint64_t startMs, uint64_t endMs) {
        if (shared_.orphaned.load()) return;
        FinishedSubtitle line;
        line.interim = true;
        // The words being spoken get the streamer's rules as the finished line will, so a
        // hidden word never flashes on screen.
        line.text = setup_.wordRules.hide(setup_.wordRules.apply(text));
        line.original = line.text;
        line.sourceLanguage = setup_.sourceLanguage;
        line.startMs = startMs;
        line.endMs = endMs;
        line.displayMs = setup_.displayMs;
        state_.showing.fetch_add(1);
        sinks_.deliver(line);
    }

    void finished(LiveLine line) {
        state_.lines.push({std::move(line), state_.showing.load()});
    }

    void settle() {
        if (auto line = lines_.settle()) finished(std::move(*line));
    }

    void reportDropped() {
        const uint64_t bytes = state_.outbox.takeDropped();
        if (bytes > 0) {
            logWarningTag("STT", "Deepgram stream was down: %.1f s of speech dropped",
                          static_cast<double>(bytes) / 32000.0);
        }
    }

    StreamState& state_;
    const StreamingSetup& streaming_;
    const RecognitionSetup& setup_;
    SourceShared& shared_;
    const SubtitleSinks& sinks_;

    WebSocketClient socket_;
    LineAssembler lines_;
    Timeline timeline_;
    CircuitBreaker breaker_;
    const std::string url_;
    std::string spare_;

    bool attempting_ = false;  // an attempt is under way or has just ended
    bool wasOpen_ = false;
    bool reconnecting_ = false;
    bool closeStreamSent_ = false;
    int32_t failures_ = 0;  // failed attempts in this round
    Clock::time_point nextAttempt_{};
    Clock::time_point openedAt_{};
    Clock::time_point lastSent_{};
    std::optional<Clock::time_point> finalizeSentAt_;
    std::optional<Clock::time_point> deadline_;  // set once the capture stopped
};

}  // namespace

void runDeepgramStream(StreamState& state, const StreamingSetup& streaming,
                       const RecognitionSetup& setup, SourceShared& shared,
                       const SubtitleSinks& sinks) {
    Stream stream(state, streaming, setup, shared, sinks);
    struct Ending {
        StreamState& state;
        Stream& stream;
        ~Ending() {
            state.outbox.close();
            try {
                stream.end();
            } catch (...) {
                // Only the last line is lost; the queue still closes.
            }
            state.lines.close();
            state.streaming.store(false);
        }
    } ending{state, stream};
    stream.run();
}

}  // namespace obs_sayline
