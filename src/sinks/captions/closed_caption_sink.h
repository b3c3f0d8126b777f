#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// Which text of a subtitle becomes the caption ("cc_text").
enum class CaptionText {
    Translation,  // the translation when there is one, else the original
    Original,
};

// One caption as it goes to an output: its text (at most two 608 rows) and how long it stays
// before the next one may replace it. An empty text takes the caption down.
struct OutputCaption {
    std::string text;
    double seconds = 0.0;
};

// Closed captions (CEA-608) inside the stream and the recording: each finished subtitle is cut
// into captions of at most two 32-character rows that share its display time, followed by an
// empty caption that takes it down when that time is up. Runs on the recognition worker; the
// host's caption calls only queue text under the output's own short lock.
class ClosedCaptionSink final : public ISubtitleSink {
public:
    using Sender = std::function<size_t(const std::vector<OutputCaption>&)>;

    // `send` hands the captions to the host's outputs and says how many took them.
    explicit ClosedCaptionSink(Sender send);

    const char* name() const override { return "closed captions"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    // A text that 608 cannot carry is reported once per time the source is on air.
    void sourceActivated() override { warned_.store(false); }

    // Control thread (update).
    void configure(bool enabled, CaptionText text);

private:
    Sender send_;
    std::atomic<bool> enabled_{false};
    std::atomic<CaptionText> text_{CaptionText::Translation};
    std::atomic<bool> warned_{false};
    std::atomic<size_t> lastReached_{0};  // outputs the previous subtitle went to
};

}  // namespace obs_sayline
