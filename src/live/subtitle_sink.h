#pragma once

#include "live/finished_subtitle.h"

namespace obs_sayline {

// Where finished subtitles go (the scene text, captions, transcript files). Called on a
// recognition worker (streaming recognition delivers interim lines from its stream worker and
// finished ones from its line worker, so a sink may be called from two at once); a sink that
// needs another thread hands the subtitle over itself and never blocks the worker for long.
class ISubtitleSink {
public:
    virtual ~ISubtitleSink() = default;
    virtual const char* name() const = 0;
    virtual void deliver(const FinishedSubtitle& subtitle) = 0;
    // Capture stopped: take down whatever is showing.
    virtual void clear() {}
    // The host showed or hid the source (control thread). Sinks whose work spans the time a
    // source is on air (a transcript, a once-per-activation warning) start and end it here.
    virtual void sourceActivated() {}
    virtual void sourceDeactivated() {}
};

}  // namespace obs_sayline
