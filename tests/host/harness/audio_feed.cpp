#include "host/harness/audio_feed.h"

#include <util/platform.h>

#include <cmath>

#include "host/harness/test_sources.h"

namespace obs_sayline::test {

AudioFeed::AudioFeed(uint32_t channel, const char* name) : channel_(channel) {
    source_ = obs_source_create(kTestAudioSourceId, name, nullptr, nullptr);
    if (source_ && channel_ != kNotInMix) obs_set_output_source(channel_, source_);
}

AudioFeed::~AudioFeed() {
    if (!source_) return;
    if (channel_ != kNotInMix) obs_set_output_source(channel_, nullptr);
    obs_source_release(source_);
}

void AudioFeed::push(const std::vector<float>& samples, uint32_t sampleRate,
                     speaker_layout layout) {
    if (!source_ || samples.empty()) return;
    const size_t channels = get_audio_channels(layout);
    const size_t total = samples.size() / channels;
    const uint64_t now = os_gettime_ns();
    // After a pause, start again at the present instead of in the past.
    if (nextTimestampNs_ < now) nextTimestampNs_ = now;

    // In blocks of 10 ms or less, like a capture device would deliver them.
    const size_t block = sampleRate / 100;
    for (size_t offset = 0; offset < total; offset += block) {
        const size_t frames = std::min(block, total - offset);
        obs_source_audio audio{};
        audio.data[0] = reinterpret_cast<const uint8_t*>(samples.data() + offset * channels);
        audio.frames = static_cast<uint32_t>(frames);
        audio.speakers = layout;
        audio.format = AUDIO_FORMAT_FLOAT;
        audio.samples_per_sec = sampleRate;
        audio.timestamp = nextTimestampNs_;
        obs_source_output_audio(source_, &audio);
        nextTimestampNs_ += static_cast<uint64_t>(frames) * 1000000000ULL / sampleRate;
    }
}

void AudioFeed::pushSine(double frequencyHz, float amplitude, uint32_t durationMs,
                         uint32_t sampleRate) {
    std::vector<float> samples(static_cast<size_t>(sampleRate) * durationMs / 1000);
    const double step = 2.0 * M_PI * frequencyHz / sampleRate;
    for (auto& s : samples) {
        s = amplitude * static_cast<float>(std::sin(phase_));
        phase_ = std::fmod(phase_ + step, 2.0 * M_PI);
    }
    push(samples, sampleRate);
}

}  // namespace obs_sayline::test
