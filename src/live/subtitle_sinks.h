#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "live/subtitle_sink.h"

namespace obs_sayline {

// The sinks of one source. Delivery goes to each in the order they were added; one that throws
// is logged and the others still get the subtitle.
class SubtitleSinks {
public:
    void add(std::shared_ptr<ISubtitleSink> sink);
    void remove(const std::shared_ptr<ISubtitleSink>& sink);
    void deliver(const FinishedSubtitle& subtitle) const;
    void clear() const;
    void sourceActivated() const;
    void sourceDeactivated() const;
    size_t size() const;

private:
    std::vector<std::shared_ptr<ISubtitleSink>> snapshot() const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<ISubtitleSink>> sinks_;
};

}  // namespace obs_sayline
