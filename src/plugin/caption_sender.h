#pragma once

#include <cstddef>
#include <vector>

#include "sinks/captions/closed_caption_sink.h"

namespace obs_sayline {

// Sends the captions, in order, to every active output that carries encoded video: the
// front end's stream, recording and replay buffer, or, where no front end answers, every such
// output of the host. Output references are held only while sending. Returns how many outputs
// got them.
size_t sendToActiveOutputs(const std::vector<OutputCaption>& captions);

}  // namespace obs_sayline
