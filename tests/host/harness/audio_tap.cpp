#include "host/harness/audio_tap.h"

#include <obs.h>

#include <algorithm>
#include <cmath>

namespace obs_sayline::test {

AudioTap::AudioTap(uint32_t sampleRate, speaker_layout speakers, size_t mixIndex)
    : mixIndex_(mixIndex), channels_(get_audio_channels(speakers)) {
    audio_convert_info conversion{};
    conversion.samples_per_sec = sampleRate;
    conversion.format = AUDIO_FORMAT_FLOAT;
    conversion.speakers = speakers;
    connected_ = audio_output_connect(obs_get_audio(), mixIndex_, &conversion, &onAudio, this);
}

AudioTap::~AudioTap() {
    if (connected_) audio_output_disconnect(obs_get_audio(), mixIndex_, &onAudio, this);
}

void AudioTap::onAudio(void* param, size_t, struct audio_data* data) {
    auto* self = static_cast<AudioTap*>(param);
    const auto* samples = reinterpret_cast<const float*>(data->data[0]);
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (samples) {
            self->samples_.insert(self->samples_.end(), samples,
                                  samples + static_cast<size_t>(data->frames) * self->channels_);
        }
    }
    self->changed_.notify_all();
}

std::vector<float> AudioTap::samples() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
}

void AudioTap::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    samples_.clear();
}

bool AudioTap::waitFor(const std::function<bool(const std::vector<float>&)>& predicate,
                       std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(samples_); });
}

bool AudioTap::waitForSignal(size_t count, float threshold, std::chrono::milliseconds timeout) {
    return waitFor(
        [&](const std::vector<float>& s) {
            return s.size() >= count && std::any_of(s.begin(), s.end(), [&](float v) {
                       return std::fabs(v) > threshold;
                   });
        },
        timeout);
}

}  // namespace obs_sayline::test
