#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "plugin/text_source.h"

namespace obs_sayline {

struct SubtitleSourceData;

// "Show problems in the scene": while the source has a problem, its status sentence drawn in
// small text at the top-left of the box, for streamers who watch their own preview; nothing
// while all is well. Its own private text source, made by the update that turns it on and
// written only on the graphics thread.
struct StatusOverlay {
    std::atomic<bool> enabled{false};  // written by update
    PrivateTextSource text;
    // Render thread only.
    std::chrono::steady_clock::time_point checkedAt{};
    std::string shown;  // the sentence the text source holds
};

// Update (control thread, or the host's video tick): makes the text source when the overlay is
// on and has none. Not from the render callback, which holds the graphics context: creating a
// source takes the host's source list lock, which the video tick holds around that context.
void prepareStatusOverlay(SubtitleSourceData& data);

// Render hook (graphics thread), after the subtitle: looks at the status twice a second and
// draws the problem, if any.
void drawStatusOverlay(SubtitleSourceData& data);

}  // namespace obs_sayline
