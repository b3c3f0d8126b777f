#include "live/source_status.h"

#include <cstdio>
#include <utility>

#include "core/logger.h"
#include "sinks/youtube/caption_poster.h"

namespace obs_sayline {
namespace {

using Clock = SourceStatus::Clock;

// Whole seconds from `now` until `at`, rounded up (a wait of 0.2 s is "1 s" away).
long long secondsUntil(Clock::time_point now, Clock::time_point at) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - now).count();
    return ms <= 0 ? 0 : (ms + 999) / 1000;
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof(text), pattern, args...);
    return text;
}

std::string shownAgo(Clock::time_point now, Clock::time_point shownAt) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - shownAt).count();
    // Past two minutes the seconds stop being useful.
    if (seconds >= 120) return format("Subtitle shown %lld min ago", seconds / 60);
    return format("Subtitle shown %lld s ago", static_cast<long long>(seconds < 0 ? 0 : seconds));
}

std::string problemSentence(const ServiceProblem& p, Clock::time_point now) {
    switch (p.code) {
        case StatusCode::ApiKeyMissing:
            return "No API key for " + p.service;
        case StatusCode::ApiKeyRefused:
            if (p.httpStatus > 0)
                return format("Key refused by the service (HTTP %d)", p.httpStatus);
            return "Key refused by the service";
        case StatusCode::ServiceUnreachable:
            if (p.until && secondsUntil(now, *p.until) > 0) {
                return format("Service unreachable — retrying in %lld s",
                              secondsUntil(now, *p.until));
            }
            return "Service unreachable — retrying with the next speech";
        case StatusCode::CircuitOpen:
            if (p.until && secondsUntil(now, *p.until) > 0) {
                return format("Circuit open — resuming in %lld s", secondsUntil(now, *p.until));
            }
            return "Circuit open — resuming with the next speech";
        default:
            if (p.httpStatus > 0) return format("Service error (HTTP %d)", p.httpStatus);
            return "Service error";
    }
}

StatusReport captureReport(CaptureCondition condition, const std::string& detail) {
    switch (condition) {
        case CaptureCondition::Off:
            return {StatusCode::Off, "Off (no speech engine chosen)"};
        case CaptureCondition::Stopped:
            return {StatusCode::Stopped, "Stopped (not on air)"};
        case CaptureCondition::EngineUnavailable:
            return {StatusCode::EngineUnavailable, "Speech engine not available in this build"};
        case CaptureCondition::EngineFailed:
            if (detail.empty()) return {StatusCode::EngineFailed, "Speech engine failed to start"};
            return {StatusCode::EngineFailed, "Speech engine failed to start: " + detail};
        case CaptureCondition::AudioNotConnected:
            return {StatusCode::AudioNotConnected, "Not connected to the audio"};
        case CaptureCondition::WhisperLocalUnavailable:
            return {StatusCode::WhisperLocalUnavailable, kWhisperLocalUnavailable};
        case CaptureCondition::Running:
            break;
    }
    return {StatusCode::Listening, "Listening"};
}

StatusReport setupReport(const SetupProblem& p) {
    switch (p.code) {
        case StatusCode::ServerUrlRefused:
            return {p.code, p.service + " server URL refused: " + p.reason};
        case StatusCode::TranslationFailed:
            if (p.reason.empty()) return {p.code, p.service + " is not available in this build"};
            return {p.code, p.service + " failed to start: " + p.reason};
        default:
            return {StatusCode::ApiKeyMissing, "No API key for " + p.service};
    }
}

std::string lateSentence(uint64_t behindMs) {
    return format("Recognition is running late (%llu s behind)",
                  static_cast<unsigned long long>((behindMs + 500) / 1000));
}

bool isWorking(StatusCode code) {
    return code == StatusCode::Listening || code == StatusCode::WaitingForSpeech ||
           code == StatusCode::Sending || code == StatusCode::SubtitleShown;
}

}  // namespace

const char* statusCodeName(StatusCode code) noexcept {
    switch (code) {
        case StatusCode::Off:
            return "off";
        case StatusCode::Stopped:
            return "stopped";
        case StatusCode::Paused:
            return "paused";
        case StatusCode::Listening:
            return "listening";
        case StatusCode::WaitingForSpeech:
            return "waiting_for_speech";
        case StatusCode::Sending:
            return "sending";
        case StatusCode::SubtitleShown:
            return "subtitle_shown";
        case StatusCode::EngineUnavailable:
            return "engine_unavailable";
        case StatusCode::EngineFailed:
            return "engine_failed";
        case StatusCode::AudioNotConnected:
            return "audio_not_connected";
        case StatusCode::AudioSourceMissing:
            return "audio_source_missing";
        case StatusCode::AudioSourceMuted:
            return "audio_source_muted";
        case StatusCode::ApiKeyMissing:
            return "api_key_missing";
        case StatusCode::ApiKeyRefused:
            return "api_key_refused";
        case StatusCode::ServiceUnreachable:
            return "service_unreachable";
        case StatusCode::CircuitOpen:
            return "circuit_open";
        case StatusCode::ServiceError:
            return "service_error";
        case StatusCode::FontMissing:
            return "font_missing";
        case StatusCode::WhisperLocalUnavailable:
            return "whisper_local_unavailable";
        case StatusCode::ServerUrlRefused:
            return "server_url_refused";
        case StatusCode::TranslationFailed:
            return "translation_failed";
        case StatusCode::RecognitionLate:
            return "recognition_late";
        case StatusCode::YouTubeCaptionsFailed:
            return "youtube_captions_failed";
    }
    return "unknown";
}

bool statusCodeFromName(const std::string& name, StatusCode& code) noexcept {
    for (int i = 0; i <= static_cast<int>(StatusCode::YouTubeCaptionsFailed); ++i) {
        const auto candidate = static_cast<StatusCode>(i);
        if (name == statusCodeName(candidate)) {
            code = candidate;
            return true;
        }
    }
    return false;
}

StatusMark statusMark(StatusCode code) noexcept {
    if (isWorking(code)) return StatusMark::Working;
    return isProblem(code) ? StatusMark::Problem : StatusMark::Held;
}

bool isProblem(StatusCode code) noexcept {
    return !isWorking(code) && code != StatusCode::Off && code != StatusCode::Stopped &&
           code != StatusCode::Paused;
}

void SourceStatus::setLabel(std::string label) {
    std::lock_guard<std::mutex> lock(mutex_);
    label_ = std::move(label);
}

SourceStatus::Quiet::Quiet(SourceStatus& status) : status_(status) {
    std::lock_guard<std::mutex> lock(status_.mutex_);
    ++status_.quiet_;
}

SourceStatus::Quiet::~Quiet() {
    std::string line;
    {
        std::lock_guard<std::mutex> lock(status_.mutex_);
        if (--status_.quiet_ == 0) line = status_.changeLocked();
    }
    status_.logChange(line);
}

void SourceStatus::setCapture(CaptureCondition condition, std::string detail) {
    change([&] {
        condition_ = condition;
        conditionDetail_ = std::move(detail);
        if (condition == CaptureCondition::Running) {
            outcome_ = StatusCode::Listening;
            inFlight_ = false;
            fontProblem_.clear();
        } else {
            audioSource_.clear();
            audioSourceMissing_ = false;
            audioSourceMuted_ = false;
        }
    });
}

uint64_t SourceStatus::newCapture() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++capture_;
    setupProblem_.reset();
    outcome_ = StatusCode::Listening;
    inFlight_ = false;
    failedThisRequest_ = false;
    // Not a change of state yet: the capture's condition follows.
    return capture_;
}

void SourceStatus::setupProblem(const SetupProblem& problem) {
    change([&] {
        if (!setupProblem_) setupProblem_ = setupReport(problem);
    });
}

void SourceStatus::setPaused(bool paused) {
    change([&] { paused_ = paused; });
}

void SourceStatus::audioSourceFound(const std::string& name) {
    change([&] {
        audioSource_ = name;
        audioSourceMissing_ = false;
    });
}

void SourceStatus::audioSourceMissing(const std::string& name) {
    change([&] {
        audioSource_ = name;
        audioSourceMissing_ = true;
        audioSourceMuted_ = false;
    });
}

void SourceStatus::audioSourceMuted(bool muted) {
    change([&] { audioSourceMuted_ = muted; });
}

void SourceStatus::requestStarted(uint64_t capture) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!currentLocked(capture)) return;
    inFlight_ = true;
    failedThisRequest_ = false;
    // Sending is a working state like the one before it (a problem outranks it): no log line.
}

void SourceStatus::requestEnded(uint64_t capture) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (currentLocked(capture)) inFlight_ = false;
}

void SourceStatus::retrying(Clock::time_point at, uint64_t capture) {
    change([&] {
        if (!currentLocked(capture)) return;
        outcome_ = StatusCode::ServiceUnreachable;
        problem_ = ServiceProblem{StatusCode::ServiceUnreachable, {}, 0, at};
    });
}

void SourceStatus::serviceProblem(const ServiceProblem& problem, uint64_t capture) {
    change([&] {
        if (!currentLocked(capture)) return;
        outcome_ = problem.code;
        problem_ = problem;
        failedThisRequest_ = true;
    });
}

void SourceStatus::nothingToShow(uint64_t capture) {
    change([&] {
        if (currentLocked(capture) && !failedThisRequest_) outcome_ = StatusCode::Listening;
    });
}

void SourceStatus::subtitleShown(uint64_t capture) {
    change([&] {
        if (!currentLocked(capture)) return;
        shownAt_ = Clock::now();
        if (!failedThisRequest_) outcome_ = StatusCode::SubtitleShown;
    });
}

void SourceStatus::recognitionLate(uint64_t behindMs, uint64_t capture) {
    change([&] {
        if (!currentLocked(capture) || failedThisRequest_) return;
        outcome_ = StatusCode::RecognitionLate;
        behindMs_ = behindMs;
    });
}

void SourceStatus::heardSilence(uint64_t capture) {
    change([&] {
        if (!currentLocked(capture)) return;
        // Silence heard in time also says recognition has caught up.
        if (isWorking(outcome_) || outcome_ == StatusCode::RecognitionLate) {
            outcome_ = StatusCode::WaitingForSpeech;
        }
    });
}

void SourceStatus::fontsMissing(const std::string& sentence) {
    change([&] { fontProblem_ = sentence; });
}

void SourceStatus::fontsCover() {
    change([&] { fontProblem_.clear(); });
}

void SourceStatus::captionsPosted(Clock::time_point at) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A working state's detail: no change worth a log line.
    captionsPostedAt_ = at;
}

void SourceStatus::captionProblem(const std::string& sentence) {
    change([&] { captionProblem_ = sentence; });
}

void SourceStatus::captionsOff() {
    change([&] {
        captionProblem_.clear();
        captionsPostedAt_.reset();
    });
}

StatusReport SourceStatus::report(Clock::time_point now) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reportLocked(now);
}

StatusReport SourceStatus::reportLocked(Clock::time_point now) const {
    if (paused_) return {StatusCode::Paused, "Paused"};
    if (condition_ != CaptureCondition::Running) {
        return captureReport(condition_, conditionDetail_);
    }
    if (audioSourceMissing_) {
        return {StatusCode::AudioSourceMissing, "Audio source '" + audioSource_ + "' not found"};
    }
    if (audioSourceMuted_) {
        return {StatusCode::AudioSourceMuted, "Audio source '" + audioSource_ + "' is muted"};
    }
    if (outcome_ == StatusCode::RecognitionLate) return {outcome_, lateSentence(behindMs_)};
    if (isProblem(outcome_)) return {outcome_, problemSentence(problem_, now)};
    // What the setup found stands for the whole capture, under what requests report.
    if (setupProblem_) return *setupProblem_;
    // Subtitles still come, only not everywhere or not whole: below the problems that stop
    // them.
    if (!captionProblem_.empty()) return {StatusCode::YouTubeCaptionsFailed, captionProblem_};
    if (!fontProblem_.empty()) return {StatusCode::FontMissing, fontProblem_};
    StatusReport working{StatusCode::Listening, "Listening"};
    if (inFlight_) {
        working = {StatusCode::Sending, "Sending…"};
    } else if (outcome_ == StatusCode::SubtitleShown) {
        working = {StatusCode::SubtitleShown, shownAgo(now, shownAt_)};
    } else if (outcome_ == StatusCode::WaitingForSpeech) {
        working = {StatusCode::WaitingForSpeech, "Waiting for speech"};
    }
    // Where the captions went, beside what the source does.
    if (captionsPostedAt_)
        working.sentence += " · " + captionsSentSentence(now - *captionsPostedAt_);
    return working;
}

std::string SourceStatus::changeLocked() {
    if (quiet_ > 0) return {};
    StatusReport now = reportLocked(Clock::now());
    // The working states are one state for the log.
    if (isWorking(now.code)) now = {StatusCode::Listening, "Listening"};
    if (now.code == logged_) return {};
    logged_ = now.code;
    return label_.empty() ? now.sentence : label_ + ": " + now.sentence;
}

void SourceStatus::logChange(const std::string& line) const {
    if (!line.empty()) logInfoTag("Status", "%s", line.c_str());
}

namespace {

bool refusesTheKey(ErrorCode code) {
    return code == ErrorCode::ApiKeyInvalid || code == ErrorCode::AuthenticationFailed ||
           code == ErrorCode::PermissionDenied;
}

}  // namespace

void ServiceCallWatch::answered(int32_t status) noexcept { httpStatus_ = status; }

void ServiceCallWatch::unreachable(std::chrono::milliseconds retryIn) noexcept {
    transportFailed_ = true;
    if (retryIn.count() <= 0) return;
    try {
        status_.retrying(SourceStatus::Clock::now() + retryIn, capture_);
    } catch (...) {
        // The status is a courtesy; the call goes on regardless.
    }
}

void ServiceCallWatch::breakerOpen(std::chrono::milliseconds remaining) noexcept {
    breakerUntil_ = SourceStatus::Clock::now() + remaining;
}

ServiceProblem ServiceCallWatch::problem(const Error& error, const std::string& service) const {
    ServiceProblem problem;
    problem.service = service;
    if (error.code == ErrorCode::ApiKeyMissing) {
        problem.code = StatusCode::ApiKeyMissing;
    } else if (breakerUntil_) {
        problem.code = StatusCode::CircuitOpen;
        problem.until = breakerUntil_;
    } else if (refusesTheKey(error.code)) {
        problem.code = StatusCode::ApiKeyRefused;
        problem.httpStatus = httpStatus_;
    } else if (transportFailed_ && httpStatus_ == 0) {
        // The last attempt is over: the next one comes with the next chunk of speech.
        problem.code = StatusCode::ServiceUnreachable;
    } else {
        problem.code = StatusCode::ServiceError;
        // An answer that could not be read is no HTTP error.
        if (httpStatus_ >= 300) problem.httpStatus = httpStatus_;
    }
    return problem;
}

}  // namespace obs_sayline
