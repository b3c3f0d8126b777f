#include "sinks/hub/hub_source.h"

namespace obs_sayline {

using std::chrono::milliseconds;
using SystemClock = std::chrono::system_clock;

HubSource::HubSource(std::shared_ptr<SubtitleHub> hub) : hub_(std::move(hub)), id_(hub_->join()) {}

HubSource::~HubSource() { hub_->leave(id_); }

void HubSource::captureStarted(SystemClock::time_point at) {
    captureStartMs_.store(
        std::chrono::duration_cast<milliseconds>(at.time_since_epoch()).count());
}

void HubSource::deliver(const FinishedSubtitle& subtitle) {
    if (subtitle.interim) return;
    if (subtitle.spokenAt != SystemClock::time_point{}) {
        hub_->deliver(id_, subtitle, Clock::now());
        return;
    }
    FinishedSubtitle placed = subtitle;
    const int64_t startMs = captureStartMs_.load();
    if (startMs != 0) {
        placed.spokenAt = SystemClock::time_point(milliseconds(startMs)) +
                          milliseconds(subtitle.startMs);
    } else {
        // Nothing to place it by: spoken as long ago as it lasted.
        const uint64_t heardMs =
            subtitle.endMs > subtitle.startMs ? subtitle.endMs - subtitle.startMs : 0;
        placed.spokenAt = SystemClock::now() - milliseconds(heardMs);
    }
    hub_->deliver(id_, placed, Clock::now());
}

}  // namespace obs_sayline
