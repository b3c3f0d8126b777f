#pragma once

namespace obs_sayline::test {

// An audio-only input that plays whatever a test pushes into it (see AudioFeed).
constexpr const char* kTestAudioSourceId = "sayline_test_audio";
// A video input that fills its box with one colour. Settings: "color" (0xAABBGGRR),
// "width", "height".
constexpr const char* kTestColorSourceId = "sayline_test_color";

// Registers both with the running host. Called once by ObsHost::start.
void registerTestSources();

}  // namespace obs_sayline::test
