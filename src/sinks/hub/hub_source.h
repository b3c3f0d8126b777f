#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "sinks/hub/subtitle_hub.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// One source's way into the shared outputs: in its list of sinks, it passes each finished
// subtitle to the hub it holds, and tells the hub what the source's settings contribute. The
// hub lives as long as any source holds it. A source that goes leaves the others untouched.
class HubSource final : public ISubtitleSink {
public:
    using Clock = SubtitleHub::Clock;

    explicit HubSource(std::shared_ptr<SubtitleHub> hub);
    ~HubSource() override;
    HubSource(const HubSource&) = delete;
    HubSource& operator=(const HubSource&) = delete;

    const char* name() const override { return "shared outputs"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    void sourceActivated() override { hub_->activated(id_); }
    void sourceDeactivated() override { hub_->deactivated(id_); }

    // The settings (update); a new speaker name applies from the next subtitle on.
    void configure(const HubContribution& contribution) { hub_->configure(id_, contribution); }
    // Capture started: where the audio clock's zero is on the system clock, for subtitles
    // that do not say when they were spoken.
    void captureStarted(std::chrono::system_clock::time_point at);

    const std::shared_ptr<SubtitleHub>& hub() const { return hub_; }

private:
    std::shared_ptr<SubtitleHub> hub_;
    uint64_t id_;
    std::atomic<int64_t> captureStartMs_{0};  // since the epoch; 0: not known
};

}  // namespace obs_sayline
