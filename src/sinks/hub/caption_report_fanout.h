#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "sinks/youtube/caption_poster.h"

namespace obs_sayline {

// How the shared YouTube captions stand, told to every source that sends to them: each one's
// status row shows the posts and the problem. A source that starts sending learns the problem
// that stands; one that stops hears nothing more.
class CaptionReportFanOut final : public ICaptionDeliveryReport {
public:
    using Targets = std::map<uint64_t, std::shared_ptr<ICaptionDeliveryReport>>;

    void setTargets(Targets targets);

    void captionsPosted(std::chrono::steady_clock::time_point at) override;
    void captionProblem(const std::string& sentence) override;

private:
    // One call at a time, as the poster makes them; targets never call back here.
    std::mutex mutex_;
    Targets targets_;
    std::string problem_;
};

}  // namespace obs_sayline
