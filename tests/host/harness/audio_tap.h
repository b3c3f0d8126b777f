#pragma once

#include <media-io/audio-io.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace obs_sayline::test {

// Listens to the host's mixed audio output, converted by the host (by default to 16 kHz mono
// float, what the Sayline source asks for), and keeps every sample it receives.
class AudioTap {
public:
    explicit AudioTap(uint32_t sampleRate = 16000, speaker_layout speakers = SPEAKERS_MONO,
                      size_t mixIndex = 0);
    ~AudioTap();
    AudioTap(const AudioTap&) = delete;
    AudioTap& operator=(const AudioTap&) = delete;

    bool connected() const { return connected_; }
    std::vector<float> samples() const;  // interleaved when more than one channel
    void clear();

    // Waits until predicate(samples so far) holds; false on timeout.
    bool waitFor(const std::function<bool(const std::vector<float>&)>& predicate,
                 std::chrono::milliseconds timeout);
    // Waits until at least `count` samples arrived and one of them is louder than `threshold`.
    bool waitForSignal(size_t count, float threshold, std::chrono::milliseconds timeout);

private:
    static void onAudio(void* param, size_t mixIndex, struct audio_data* data);

    size_t mixIndex_;
    uint32_t channels_;
    bool connected_ = false;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<float> samples_;
};

}  // namespace obs_sayline::test
