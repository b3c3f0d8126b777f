#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sinks/captions/closed_caption_sink.h"

namespace obs_sayline {

// One subtitle waiting for the caption stream: its text as 608 carries it and who said it.
struct ChannelSubtitle {
    std::string text;
    std::string speaker;  // as 608 carries it; empty: no name
    uint64_t speakerId = 0;
    std::chrono::system_clock::time_point spokenAt{};
    int displayMs = 0;
};

// The one CEA-608 caption stream every source's captions share, timed here rather than by the
// host (every caption goes out with no hold of its own, so the host sends it at the next
// frame). A subtitle is cut into captions of at most two rows that share its display time, the
// last taken down when that time is up. Waiting subtitles go in order of speech start; none
// replaces a caption still within its reading time (1.5 s, or its share of the display time
// when shorter): it waits, or, when both are one row, the two share the two rows. The first
// caption of a new speaker starts with ">> NAME: " (">> " without a name); the very first
// caption is marked only when it has a name. Not thread-safe: one owner drives it.
class CaptionChannel {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kReadingTime{1500};

    void push(ChannelSubtitle subtitle);
    // The captions due at `now`, in order.
    std::vector<OutputCaption> take(Clock::time_point now);
    // When take has something next; nothing: the channel is idle.
    std::optional<Clock::time_point> nextAt() const;

private:
    struct Shown {
        std::vector<std::string> parts;
        size_t next = 0;
        Clock::duration share{};
        Clock::time_point nextPartAt{};
    };
    std::vector<std::string> partsOf(const ChannelSubtitle& subtitle) const;
    void noteSpeaker(const ChannelSubtitle& subtitle);
    void showPart(Clock::time_point now, std::vector<OutputCaption>& out);
    bool shareRows(Clock::time_point now, std::vector<OutputCaption>& out);

    std::deque<ChannelSubtitle> waiting_;  // by speech start
    std::optional<Shown> current_;         // the subtitle whose parts are going out
    bool up_ = false;                      // a caption is on screen
    std::string upText_;
    bool upShareable_ = false;  // one row, a whole subtitle: the next short one may join it
    Clock::time_point readUntil_{};
    Clock::time_point clearAt_{};
    bool spoken_ = false;  // a caption went out before
    uint64_t lastSpeakerId_ = 0;
    std::string lastSpeaker_;
};

}  // namespace obs_sayline
