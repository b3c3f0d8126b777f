#include "sinks/youtube/youtube_caption_sink.h"

#include <algorithm>

#include "sinks/youtube/caption_split.h"

namespace obs_sayline {

std::vector<TimedCaption> captionsForSubtitle(const FinishedSubtitle& subtitle, bool translation,
                                              int offsetMs,
                                              std::chrono::system_clock::time_point now,
                                              const std::string& mark) {
    const std::string& chosen =
        translation && !subtitle.translation.empty() ? subtitle.translation : subtitle.original;
    const std::string& text = chosen.empty() ? subtitle.text : chosen;
    const std::vector<CaptionPiece> pieces =
        splitCaption(text.empty() || mark.empty() ? text : mark + text);
    if (pieces.empty()) return {};

    const std::chrono::milliseconds span(
        subtitle.endMs > subtitle.startMs ? subtitle.endMs - subtitle.startMs : 0);
    const bool known = subtitle.spokenAt.time_since_epoch().count() != 0;
    const auto start =
        (known ? subtitle.spokenAt : now - span) +
        std::chrono::milliseconds(std::clamp(offsetMs, kYouTubeOffsetMinMs, kYouTubeOffsetMaxMs));
    const size_t totalChars = std::max<size_t>(1, pieces.back().startChar + pieces.back().chars);

    std::vector<TimedCaption> captions;
    captions.reserve(pieces.size());
    for (const auto& piece : pieces) {
        const auto share =
            span * static_cast<int64_t>(piece.startChar) / static_cast<int64_t>(totalChars);
        captions.push_back({start + share, piece.text});
    }
    return captions;
}

YouTubeCaptionSink::YouTubeCaptionSink(std::shared_ptr<ICaptionDeliveryReport> report,
                                       CaptionPosterOptions options)
    : poster_(std::move(report), std::move(options)) {}

void YouTubeCaptionSink::deliver(const FinishedSubtitle& subtitle) {
    // A caption cannot be taken back once sent: only finished lines go out, and none long
    // after its speech.
    if (subtitle.interim || subtitle.late || !poster_.accepting()) return;
    std::string mark;
    {
        std::lock_guard<std::mutex> lock(speakerMutex_);
        const bool changed = spoken_ ? subtitle.speakerId != lastSpeakerId_ ||
                                           subtitle.speaker != lastSpeaker_
                                     : !subtitle.speaker.empty();
        if (changed) mark = subtitle.speaker.empty() ? ">> " : ">> " + subtitle.speaker + ": ";
        spoken_ = true;
        lastSpeakerId_ = subtitle.speakerId;
        lastSpeaker_ = subtitle.speaker;
    }
    poster_.post(captionsForSubtitle(subtitle, translation_.load(), offsetMs_.load(),
                                     std::chrono::system_clock::now(), mark));
}

void YouTubeCaptionSink::sourceActivated() {
    if (followSource_.load()) poster_.start();
}

void YouTubeCaptionSink::sourceDeactivated() {
    if (followSource_.load()) poster_.stop();
}

void YouTubeCaptionSink::configure(const YouTubeCaptionOptions& options) {
    translation_.store(options.translation);
    offsetMs_.store(std::clamp(options.offsetMs, kYouTubeOffsetMinMs, kYouTubeOffsetMaxMs));
    poster_.configure(options.enabled, options.url);
}

void YouTubeCaptionSink::followSourceActivation(bool follow) { followSource_.store(follow); }

void YouTubeCaptionSink::streamingStarted() { poster_.start(); }

void YouTubeCaptionSink::streamingStopped() { poster_.stop(); }

}  // namespace obs_sayline
