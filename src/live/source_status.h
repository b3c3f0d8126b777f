#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/result.h"
#include "net/service_call_observer.h"

namespace obs_sayline {

// What a Sayline source is doing, as one code: scripts read the code, people the sentence.
enum class StatusCode {
    Off,                // no speech engine chosen
    Stopped,            // not capturing (the source is not on air)
    Paused,             // paused by hotkey: no audio is sent
    Listening,          // capturing, nothing recognised yet (or nothing worth showing)
    WaitingForSpeech,   // the last chunk was silent and not sent
    Sending,            // a chunk is with the service
    SubtitleShown,      // the last chunk became a subtitle
    EngineUnavailable,  // the chosen engine does not exist in this build
    EngineFailed,       // the engine did not start
    AudioNotConnected,  // the host's audio could not be reached
    AudioSourceMissing,
    AudioSourceMuted,
    ApiKeyMissing,
    ApiKeyRefused,
    ServiceUnreachable,
    CircuitOpen,
    ServiceError,
    FontMissing,  // a subtitle had characters no installed font could draw
    // Whisper Local chosen: this build has no local recogniser.
    WhisperLocalUnavailable,
    ServerUrlRefused,   // a server URL of the settings was refused
    TranslationFailed,  // the translation service did not start
    RecognitionLate,    // results come too long after their speech to be shown
    // Captions do not get to YouTube (refused, unreachable, a caption URL refused); the
    // subtitles themselves still come.
    YouTubeCaptionsFailed,
    // (keep YouTubeCaptionsFailed last: statusCodeFromName walks the codes up to it)
};

// The status, and a warning in the log, while Whisper Local is chosen.
constexpr const char* kWhisperLocalUnavailable =
    "Whisper Local is not available in this build: choose Whisper API and point Server URL at a "
    "local Whisper server";

// "listening", "api_key_refused", ...
const char* statusCodeName(StatusCode code) noexcept;
// The code of a name that statusCodeName gives; false for any other text.
bool statusCodeFromName(const std::string& name, StatusCode& code) noexcept;
// A state the user has to do something about (or should at least know of).
bool isProblem(StatusCode code) noexcept;

// How a state looks at a glance: working (green), held (amber: off, stopped or paused, as the
// user left it), or a problem (red).
enum class StatusMark { Working, Held, Problem };
StatusMark statusMark(StatusCode code) noexcept;

struct StatusReport {
    StatusCode code = StatusCode::Off;
    std::string sentence;
    bool problem() const { return isProblem(code); }
};

// How the capture of a source stands.
enum class CaptureCondition {
    Off,
    Stopped,
    Running,
    EngineUnavailable,
    EngineFailed,
    AudioNotConnected,
    WhisperLocalUnavailable,
};

// Why a call to a service came to nothing (see ServiceCallWatch, which works it out).
struct ServiceProblem {
    StatusCode code = StatusCode::ServiceError;  // one of the service codes above
    std::string service;                         // named when its key is missing
    int32_t httpStatus = 0;                      // 0: no answer, or none worth naming
    // When a call may get through again: the next attempt (unreachable) or the end of the
    // breaker's open time; none when that waits for the next speech.
    std::optional<std::chrono::steady_clock::time_point> until;
};

// What the setup of a capture found wrong with the services it was given: a key that is
// missing (ApiKeyMissing), a server URL that was refused (ServerUrlRefused), a translation
// service that did not start (TranslationFailed).
struct SetupProblem {
    StatusCode code = StatusCode::ApiKeyMissing;
    std::string service;  // "Whisper API", "OpenAI GPT", "Translation"
    std::string reason;   // why the URL was refused or the service did not start
};

// One source's state, put together from what each part reports: the capture (control thread),
// the chosen audio source (host signal threads, the audio thread on a change of mute), the
// hotkeys, and the recognition worker with the HTTP calls under it. Thread-safe; a report is a
// few stores under one mutex. A change of state is logged once at Info; the working states
// (listening, waiting for speech, sending, subtitle shown) count as one, so a source that
// works logs nothing per chunk.
class SourceStatus {
public:
    using Clock = std::chrono::steady_clock;

    // Names the source in the log lines.
    void setLabel(std::string label);

    // While one lives, changes are not logged; when it ends the state it ended in is, if that
    // differs from the last one logged (an update that stops and starts the capture again
    // logs where it ended up, not the stop on the way).
    class Quiet {
    public:
        explicit Quiet(SourceStatus& status);
        ~Quiet();
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

    private:
        SourceStatus& status_;
    };

    // Capture. A start (Running) forgets what the previous capture's requests came to.
    // `detail` names the engine and why it failed (EngineFailed).
    void setCapture(CaptureCondition condition, std::string detail = {});
    // A capture is being set up: it gets a new number, and its setup problems and requests'
    // outcomes start afresh. The reports below that carry the number of an earlier capture
    // are ignored from now on (a request that outlived an update must not speak for the new
    // setup); 0 stands for whichever capture is current.
    uint64_t newCapture();
    // Stands for the whole capture, under what its requests report; the first one reported is
    // shown.
    void setupProblem(const SetupProblem& problem);
    void setPaused(bool paused);
    void audioSourceFound(const std::string& name);
    void audioSourceMissing(const std::string& name);
    void audioSourceMuted(bool muted);

    // Recognition, one request at a time: started, then any of the reports below, then ended.
    // A failure reported during a request stands until the next request, whatever else that
    // request reports (a subtitle shown untranslated keeps the translation's problem).
    void requestStarted(uint64_t capture = 0);
    void requestEnded(uint64_t capture = 0);
    // requestStarted for as long as it lives, requestEnded however the request ends.
    class Request {
    public:
        explicit Request(SourceStatus& status, uint64_t capture = 0)
            : status_(status), capture_(capture) {
            status_.requestStarted(capture_);
        }
        ~Request() { status_.requestEnded(capture_); }
        Request(const Request&) = delete;
        Request& operator=(const Request&) = delete;

    private:
        SourceStatus& status_;
        uint64_t capture_;
    };
    // An attempt failed in the transport and the next follows at `at` (within the request).
    void retrying(Clock::time_point at, uint64_t capture = 0);
    void serviceProblem(const ServiceProblem& problem, uint64_t capture = 0);
    void nothingToShow(uint64_t capture = 0);
    void subtitleShown(uint64_t capture = 0);
    // A result came `behindMs` after its speech ended, too late to be shown: recognition is
    // behind the audio. The next result in time (a subtitle, nothing to show, silence) ends it.
    void recognitionLate(uint64_t behindMs, uint64_t capture = 0);
    // A chunk was too quiet to send; a problem that stands is not forgotten for that.
    void heardSilence(uint64_t capture = 0);

    // The scene text: a subtitle was drawn without the characters `sentence` names, or one was
    // drawn whole. The problem stands until then, or until the next capture starts.
    void fontsMissing(const std::string& sentence);
    void fontsCover();

    // Captions to YouTube: a post was taken at `at`; the problem that stands (empty: none);
    // sending them was switched off.
    void captionsPosted(Clock::time_point at);
    void captionProblem(const std::string& sentence);
    void captionsOff();

    StatusReport report() const { return report(Clock::now()); }
    StatusReport report(Clock::time_point now) const;

private:
    StatusReport reportLocked(Clock::time_point now) const;
    // Whether a report of `capture` speaks for the current one.
    bool currentLocked(uint64_t capture) const { return capture == 0 || capture == capture_; }
    // Under the mutex: the line to log when the state changed ("" when it did not).
    std::string changeLocked();
    void logChange(const std::string& line) const;
    // Applies `edit` under the mutex, then logs the change it made, if any, outside it.
    template <typename Edit>
    void change(Edit&& edit) {
        std::string line;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            edit();
            line = changeLocked();
        }
        logChange(line);
    }

    mutable std::mutex mutex_;
    std::string label_;
    CaptureCondition condition_ = CaptureCondition::Off;
    std::string conditionDetail_;
    uint64_t capture_ = 0;  // the current capture's number
    std::optional<StatusReport> setupProblem_;
    bool paused_ = false;
    std::string audioSource_;  // the chosen source, by name (empty: the program audio)
    bool audioSourceMissing_ = false;
    bool audioSourceMuted_ = false;
    // Listening, WaitingForSpeech, SubtitleShown, or a service problem.
    StatusCode outcome_ = StatusCode::Listening;
    ServiceProblem problem_;
    bool inFlight_ = false;
    bool failedThisRequest_ = false;
    uint64_t behindMs_ = 0;    // while RecognitionLate
    std::string fontProblem_;  // empty while every subtitle is drawn whole
    Clock::time_point shownAt_{};
    std::optional<Clock::time_point> captionsPostedAt_;
    std::string captionProblem_;
    StatusCode logged_ = StatusCode::Off;
    int quiet_ = 0;
};

// Watches one call to a service from the recognition worker: while it runs, a back-off before
// another attempt shows in the source's status at once; when it has failed, `problem` says why,
// from the error and from what the HTTP layer saw (the answer's status, a transport failure,
// the breaker's open time). The engines and providers stay unaware of it.
class ServiceCallWatch final : public IServiceCallObserver {
public:
    // `capture`: the number of the capture the call is made for (0: the current one).
    explicit ServiceCallWatch(SourceStatus& status, uint64_t capture = 0)
        : status_(status), capture_(capture), scope_(*this) {}

    void answered(int32_t status) noexcept override;
    void unreachable(std::chrono::milliseconds retryIn) noexcept override;
    void breakerOpen(std::chrono::milliseconds remaining) noexcept override;

    // Why the call to `service` failed with `error`.
    ServiceProblem problem(const Error& error, const std::string& service) const;

private:
    SourceStatus& status_;
    uint64_t capture_;
    ScopedServiceCallObserver scope_;
    int32_t httpStatus_ = 0;
    bool transportFailed_ = false;
    std::optional<SourceStatus::Clock::time_point> breakerUntil_;
};

// Runs one call (an engine's recognize, a provider's translate) to `service` for capture
// `capture` under a watch; a failure goes to the status with its cause. Returns the call's
// result.
template <typename Call>
auto watchServiceCall(SourceStatus& status, uint64_t capture, const std::string& service,
                      Call&& call) {
    ServiceCallWatch watch(status, capture);
    auto result = std::forward<Call>(call)();
    if (result.isError()) status.serviceProblem(watch.problem(result.error(), service), capture);
    return result;
}
// The same for whichever capture is current.
template <typename Call>
auto watchServiceCall(SourceStatus& status, const std::string& service, Call&& call) {
    return watchServiceCall(status, 0, service, std::forward<Call>(call));
}

}  // namespace obs_sayline
