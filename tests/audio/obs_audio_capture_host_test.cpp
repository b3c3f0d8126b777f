#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "audio/obs_audio_capture.h"
#include "host/harness/audio_feed.h"
#include "host/harness/obs_host.h"
#include "support/host_log_capture.h"

namespace obs_sayline::test {
namespace {

constexpr const char* kFeedName = "capture test feed";

// Everything the capture reports, gathered from the thread that pushes audio.
struct Recorder {
    std::mutex mutex;
    std::vector<AudioChunk> chunks;
    std::vector<float> levels;
    std::vector<bool> voice;

    void attach(ObsAudioCapture& capture) {
        capture.setAudioCallback([this](const AudioChunk& c) {
            std::lock_guard<std::mutex> lock(mutex);
            chunks.push_back(c);
        });
        capture.setLevelCallback([this](float level) {
            std::lock_guard<std::mutex> lock(mutex);
            levels.push_back(level);
        });
        capture.setVoiceActivityCallback([this](bool active) {
            std::lock_guard<std::mutex> lock(mutex);
            voice.push_back(active);
        });
    }
};

AudioCaptureConfig namedSource(uint64_t chunkMs = 100) {
    AudioCaptureConfig config;
    config.sourceType = 3;
    config.sourceName = kFeedName;
    config.chunkDurationMs = chunkMs;
    config.voiceThreshold = 0.2f;
    return config;
}

class ObsAudioCaptureHostTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }
    AudioFeed feed{2, kFeedName};
};

TEST_F(ObsAudioCaptureHostTest, named_source_delivers_host_format_chunks_levels_and_voice) {
    ObsAudioCapture capture;
    Recorder rec;
    rec.attach(capture);
    ASSERT_TRUE(capture.initialize(namedSource()));
    ASSERT_TRUE(capture.start());
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [ObsAudioCapture] Initialized with sample rate: 16000, channels: 1"));
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [ObsAudioCapture] Capture started"));

    // 300 ms of a loud tone in 10 ms packets, then 150 ms of silence.
    feed.pushSine(1000.0, 0.5f, 300);
    feed.push(std::vector<float>(48000 * 150 / 1000, 0.0f));

    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        // The host hands 48 kHz stereo: a 100 ms chunk is 9600 samples, exactly ten packets.
        ASSERT_EQ(rec.chunks.size(), 4u);
        for (const auto& chunk : rec.chunks) {
            EXPECT_EQ(chunk.samples.size(), 9600u);
            EXPECT_EQ(chunk.sampleRate, 48000);
            EXPECT_EQ(chunk.channels, 2);
            EXPECT_EQ(chunk.timestamp, 0u);
        }
        // Interleaved channels carry the same tone.
        const auto& first = rec.chunks[0].samples;
        EXPECT_NEAR(first[200], first[201], 1e-6);
        ASSERT_EQ(rec.levels.size(), 45u);
        EXPECT_NEAR(rec.levels[5], 0.5f / 1.41421356f, 0.01f);
        EXPECT_EQ(rec.levels.back(), 0.0f);
        // Voiced from the first packet; dropped on the eleventh quiet packet of the fifteen.
        EXPECT_EQ(rec.voice, (std::vector<bool>{true, false}));
    }
    EXPECT_FALSE(capture.isVoiceActive());
    EXPECT_EQ(capture.getCurrentLevel(), 0.0f);

    // The 50 ms left over stay buffered until taken.
    AudioChunk rest = capture.takeBufferedAudio();
    EXPECT_EQ(rest.samples.size(), 4800u);
    EXPECT_EQ(rest.sampleRate, 48000);
    EXPECT_EQ(capture.takeBufferedAudio().samples.size(), 0u);
    EXPECT_EQ(capture.getStatusJson(),
              "{\"initialized\":true,\"capturing\":true,\"paused\":false,\"sampleRate\":16000,"
              "\"channels\":1,\"currentLevel\":0,\"voiceActive\":false,"
              "\"totalSamplesProcessed\":21600,\"totalChunksEmitted\":4}");
}

TEST_F(ObsAudioCaptureHostTest, pause_drops_packets_and_stop_unhooks) {
    ObsAudioCapture capture;
    Recorder rec;
    rec.attach(capture);
    capture.pause();  // not capturing: nothing happens
    EXPECT_FALSE(capture.isPaused());
    ASSERT_TRUE(capture.initialize(namedSource(50)));
    ASSERT_TRUE(capture.start());
    ASSERT_TRUE(capture.start());  // second start: nothing more
    EXPECT_EQ(HostLogCapture::instance().count("[obs-sayline] [ObsAudioCapture] Capture started"),
              1u);

    capture.pause();
    EXPECT_TRUE(capture.isPaused());
    feed.pushSine(440.0, 0.3f, 200);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        EXPECT_TRUE(rec.levels.empty());
        EXPECT_TRUE(rec.chunks.empty());
    }
    capture.resume();
    feed.pushSine(440.0, 0.3f, 100);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        EXPECT_EQ(rec.levels.size(), 10u);
        EXPECT_EQ(rec.chunks.size(), 2u);  // 50 ms chunks of 4800 samples
    }
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [ObsAudioCapture] Capture paused"));
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [ObsAudioCapture] Capture resumed"));

    // A restart through a configuration update keeps the hook single.
    AudioCaptureConfig longer = namedSource(100);
    ASSERT_TRUE(capture.updateConfig(longer));
    EXPECT_TRUE(capture.isCapturing());
    feed.pushSine(440.0, 0.3f, 100);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        EXPECT_EQ(rec.levels.size(), 20u);
        ASSERT_EQ(rec.chunks.size(), 3u);
        EXPECT_EQ(rec.chunks.back().samples.size(), 9600u);
    }

    capture.stop();
    EXPECT_FALSE(capture.isCapturing());
    feed.pushSine(440.0, 0.3f, 100);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        EXPECT_EQ(rec.levels.size(), 20u);
    }
    capture.shutdown();
    EXPECT_FALSE(capture.isInitialized());
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [ObsAudioCapture] Capture stopped"));
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [ObsAudioCapture] Shutdown complete"));
}

TEST_F(ObsAudioCaptureHostTest, missing_sources_fail_initialisation_but_keep_the_config) {
    ObsAudioCapture capture;
    AudioCaptureConfig config = namedSource();
    config.sourceName = "no such source";
    auto missing = capture.initialize(config);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ErrorCode::AudioCaptureError);
    EXPECT_EQ(missing.error().message, "Failed to find audio source");
    EXPECT_FALSE(capture.isInitialized());
    EXPECT_EQ(capture.getConfig().sourceName, "no such source");

    config.sourceType = 5;
    EXPECT_EQ(capture.initialize(config).error().message, "Failed to find audio source");
    auto notReady = capture.start();
    ASSERT_FALSE(notReady);
    EXPECT_EQ(notReady.error().code, ErrorCode::NotInitialized);
    EXPECT_EQ(notReady.error().message, "Audio capture not initialized");

    // Output channel 1 holds nothing in this host; channel 2 holds the feed, but only
    // types 0 to 4 are known.
    config.sourceType = 2;
    EXPECT_FALSE(capture.initialize(config));

    ASSERT_TRUE(capture.initialize(namedSource()));
    auto twice = capture.initialize(namedSource());
    ASSERT_FALSE(twice);
    EXPECT_EQ(twice.error().code, ErrorCode::AlreadyInitialized);
    EXPECT_EQ(twice.error().message, "Audio capture already initialized");
}

TEST_F(ObsAudioCaptureHostTest, lists_the_hosts_audio_sources_by_name) {
    ObsAudioCapture capture;
    auto names = capture.listAudioSources();
    EXPECT_NE(std::find(names.begin(), names.end(), kFeedName), names.end());
}

}  // namespace
}  // namespace obs_sayline::test
