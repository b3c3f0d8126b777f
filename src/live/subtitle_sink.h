#pragma once

#include "live/finished_subtitle.h"

namespace obs_sayline {

// Where finished subtitles go (the scene text, captions, transcript files). Called on a
// recognition worker; a sink that needs another thread hands the subtitle over itself and
// never blocks the worker for long.
class ISubtitleSink {
public:
    virtual ~ISubtitleSink() = default;
    virtual const char* name() const = 0;
    virtual void deliver(const FinishedSubtitle& subtitle) = 0;
    // Capture stopped: take down whatever is showing.
    virtual void clear() {}
};

}  // namespace obs_sayline
