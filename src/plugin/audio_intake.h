#pragma once

namespace obs_sayline {

struct SubtitleSourceData;

// Disconnects the source from the host's audio output and settles what is still buffered.
// Safe to call when capture never started.
void stopCapture(SubtitleSourceData& data);

}  // namespace obs_sayline
