#include "sinks/captions/caption_channel.h"

#include <algorithm>

#include "sinks/captions/cea608_text.h"

namespace obs_sayline {
namespace {

using Clock = CaptionChannel::Clock;

Clock::duration displayOf(int displayMs) {
    return std::chrono::milliseconds(std::max(displayMs, 0));
}

Clock::duration readingOf(Clock::duration share) {
    return std::min<Clock::duration>(share, CaptionChannel::kReadingTime);
}

}  // namespace

void CaptionChannel::push(ChannelSubtitle subtitle) {
    // After every subtitle spoken at the same time or before it.
    auto at = std::upper_bound(
        waiting_.begin(), waiting_.end(), subtitle.spokenAt,
        [](const auto& spokenAt, const ChannelSubtitle& other) { return spokenAt < other.spokenAt; });
    waiting_.insert(at, std::move(subtitle));
}

std::vector<std::string> CaptionChannel::partsOf(const ChannelSubtitle& subtitle) const {
    const bool changed = spoken_ ? subtitle.speakerId != lastSpeakerId_ ||
                                       subtitle.speaker != lastSpeaker_
                                 : !subtitle.speaker.empty();
    std::string text = subtitle.text;
    if (changed) {
        text = (subtitle.speaker.empty() ? ">> " : ">> " + subtitle.speaker + ": ") + text;
    }
    return cea608Captions(text);
}

void CaptionChannel::noteSpeaker(const ChannelSubtitle& subtitle) {
    spoken_ = true;
    lastSpeakerId_ = subtitle.speakerId;
    lastSpeaker_ = subtitle.speaker;
}

void CaptionChannel::showPart(Clock::time_point now, std::vector<OutputCaption>& out) {
    Shown& shown = *current_;
    const std::string& text = shown.parts[shown.next];
    out.push_back({text, 0.0});
    up_ = true;
    upText_ = text;
    upShareable_ = shown.parts.size() == 1 && text.find('\n') == std::string::npos;
    readUntil_ = now + readingOf(shown.share);
    clearAt_ = now + shown.share;
    shown.nextPartAt = now + shown.share;
    ++shown.next;
}

// The caption on screen is one row still being read and the next subtitle fits one row:
// both stay, one above the other.
bool CaptionChannel::shareRows(Clock::time_point now, std::vector<OutputCaption>& out) {
    if (!up_ || !upShareable_) return false;
    const ChannelSubtitle& next = waiting_.front();
    const std::vector<std::string> parts = partsOf(next);
    if (parts.size() != 1 || parts[0].find('\n') != std::string::npos) return false;
    std::string both = upText_ + "\n" + parts[0];
    if (both.size() > kCaptionTextBytes) return false;
    const Clock::duration display = displayOf(next.displayMs);
    noteSpeaker(next);
    waiting_.pop_front();
    out.push_back({both, 0.0});
    upText_ = std::move(both);
    upShareable_ = false;
    readUntil_ = std::max(readUntil_, now + readingOf(display));
    clearAt_ = std::max(clearAt_, now + display);
    return true;
}

std::vector<OutputCaption> CaptionChannel::take(Clock::time_point now) {
    std::vector<OutputCaption> out;
    for (;;) {
        if (current_ && current_->next < current_->parts.size()) {
            if (now < current_->nextPartAt) break;
            showPart(now, out);
            continue;
        }
        current_.reset();
        if (!waiting_.empty()) {
            if (up_ && now < readUntil_) {
                if (shareRows(now, out)) continue;
                break;
            }
            ChannelSubtitle next = std::move(waiting_.front());
            waiting_.pop_front();
            std::vector<std::string> parts = partsOf(next);
            if (parts.empty()) continue;
            noteSpeaker(next);
            const Clock::duration share =
                displayOf(next.displayMs) / static_cast<int>(parts.size());
            current_ = Shown{std::move(parts), 0, share, now};
            continue;
        }
        if (up_ && now >= clearAt_) {
            out.push_back({"", 0.0});
            up_ = false;
            upShareable_ = false;
        }
        break;
    }
    return out;
}

std::optional<Clock::time_point> CaptionChannel::nextAt() const {
    if (current_ && current_->next < current_->parts.size()) return current_->nextPartAt;
    if (!waiting_.empty()) return up_ ? readUntil_ : Clock::time_point{};
    if (up_) return clearAt_;
    return std::nullopt;
}

}  // namespace obs_sayline
