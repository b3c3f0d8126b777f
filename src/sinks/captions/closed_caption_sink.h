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

// One caption as it goes to an output: its text (at most two 608 rows) and how long the host
// holds back the next one. An empty text takes the caption down.
struct OutputCaption {
    std::string text;
    double seconds = 0.0;
};

// Hands captions to the host's outputs, in order; says how many outputs took them.
using CaptionSender = std::function<size_t(const std::vector<OutputCaption>&)>;

// The text of `subtitle` that goes out as closed captions, reduced to what CEA-608 carries;
// empty when none does (an interim or late line, nothing left, a script 608 lacks). A script
// 608 lacks is warned about once per `warned` flag (reset it to warn again).
std::string closedCaptionText(const FinishedSubtitle& subtitle, CaptionText text,
                              std::atomic<bool>& warned);

}  // namespace obs_sayline
