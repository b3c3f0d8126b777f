#pragma once

#include <obs.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace obs_sayline::test {

// Level change from a mono feed to a 16 kHz mono tap: the host spreads the mono source over
// its stereo mix and the conversion back to mono sums the channels at -3 dB.
constexpr float kMonoFeedGain = 1.41421356f;

// A test audio source bound to an output channel, so what a test pushes reaches the host's
// mix (and every audio output connection, as a real microphone would).
class AudioFeed {
public:
    // Bound to no channel: a source outside the program mix, heard only by its own audio
    // capture callbacks.
    static constexpr uint32_t kNotInMix = UINT32_MAX;

    // Channel 0 carries the scene by convention; audio devices use 1 and up.
    explicit AudioFeed(uint32_t channel = 1, const char* name = "sayline test audio");
    ~AudioFeed();
    AudioFeed(const AudioFeed&) = delete;
    AudioFeed& operator=(const AudioFeed&) = delete;

    obs_source_t* source() const { return source_; }

    // Float samples at the given rate (interleaved when the layout has several channels),
    // played from "now" on; consecutive pushes follow each other without a gap.
    void push(const std::vector<float>& samples, uint32_t sampleRate = 48000,
              speaker_layout layout = SPEAKERS_MONO);
    void pushSine(double frequencyHz, float amplitude, uint32_t durationMs,
                  uint32_t sampleRate = 48000);

private:
    uint32_t channel_;
    obs_source_t* source_ = nullptr;
    uint64_t nextTimestampNs_ = 0;
    double phase_ = 0.0;
};

}  // namespace obs_sayline::test
