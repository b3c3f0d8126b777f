#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "live/source_status.h"
#include "plugin/text_source.h"

namespace obs_sayline {

// "Show problems in the scene": while the source has a problem, its status sentence drawn in
// small text at the top-left of the box, for streamers who watch their own preview; nothing
// while all is well. Its own private text source, made by the update that turns it on (not by
// the render callback, which holds the graphics context: making a source takes the host's
// source list lock, which the video tick holds around that context), written in the video
// tick and drawn in the render callback.
class StatusOverlay {
public:
    using Clock = std::chrono::steady_clock;

    // Update: on or off; the text source is made when it is turned on and has none.
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_.load(); }
    // Video tick: looks at the status twice a second and writes the problem, if any.
    void tick(const SourceStatus& status, Clock::time_point now);
    // Render: draws the problem at the top-left of a box `boxWidth` wide.
    void draw(uint32_t boxWidth);

    // The source goes: its text source is released, or forgotten when the host destroys it
    // itself (at shutdown).
    void release() { text_.release(); }
    void forget() { text_.forget(); }

private:
    std::atomic<bool> enabled_{false};
    PrivateTextSource text_;
    // Video tick and render only.
    Clock::time_point checkedAt_{};
    std::string shown_;  // the sentence the text source holds
};

}  // namespace obs_sayline
