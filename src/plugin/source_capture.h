#pragma once

namespace obs_sayline {

struct SubtitleSourceData;

// Makes a fresh engine and provider when the source has none, builds the live path and
// connects it to the host's mixed audio. Does nothing when already capturing or no engine is
// chosen.
void startCapture(SubtitleSourceData& data);

// Disconnects from the host's audio, hands what is still buffered to the recognition worker
// (it is recognised there, never on the calling thread) and clears the subtitle. Safe when
// never started. Returns whether the worker was busy when the stop came: only then do update
// and destruction wait for it.
bool stopCapture(SubtitleSourceData& data);

}  // namespace obs_sayline
