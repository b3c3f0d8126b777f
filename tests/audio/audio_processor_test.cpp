#include "audio/audio_processor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

AudioChunk makeChunk(std::vector<float> samples, int32_t rate, int32_t channels) {
    AudioChunk chunk;
    chunk.samples = std::move(samples);
    chunk.sampleRate = rate;
    chunk.channels = channels;
    chunk.timestamp = 77;
    return chunk;
}

std::vector<float> ramp(size_t n, float step = 1.0f) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<float>(i) * step;
    return v;
}

// Conversion only: no filters, no gain, so outputs can be compared exactly.
AudioProcessorConfig rawConfig() {
    AudioProcessorConfig c;
    c.removeDcOffset = false;
    c.enableHighPass = false;
    c.normalizationMode = 0;
    return c;
}

class AudioProcessorTest : public ::testing::Test {
protected:
    void start(const AudioProcessorConfig& config) {
        ASSERT_TRUE(processor.initialize(config).isSuccess());
        processor.setOutputCallback([this](const AudioChunk& c) { out.push_back(c); });
    }
    // Everything converted so far, as one run.
    std::vector<float> drain() {
        processor.flush();
        std::vector<float> all;
        for (const auto& c : out) all.insert(all.end(), c.samples.begin(), c.samples.end());
        return all;
    }

    AudioProcessor processor;
    std::vector<AudioChunk> out;
};

TEST_F(AudioProcessorTest, down_mix_stereo_and_multichannel_drops_incomplete_frame) {
    start(rawConfig());
    ASSERT_TRUE(processor.process(makeChunk({1, 3, -1, 1}, 16000, 2)).isSuccess());
    EXPECT_EQ(drain(), (std::vector<float>{2, 0}));

    out.clear();
    ASSERT_TRUE(processor.process(makeChunk({1, 2, 3, 4, 5, 6, 7}, 16000, 3)).isSuccess());
    EXPECT_EQ(drain(), (std::vector<float>{2, 5}));

    out.clear();
    ASSERT_TRUE(processor.process(makeChunk({1, 2, 3}, 16000, 0)).isSuccess());
    processor.flush();
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(processor.getStats().samplesProcessed, 4u);
}

TEST_F(AudioProcessorTest, resampling_positions) {
    start(rawConfig());
    // 48 kHz to 16 kHz: every third input sample.
    ASSERT_TRUE(processor.process(makeChunk(ramp(480, 0.001f), 48000, 1)).isSuccess());
    auto down = drain();
    ASSERT_EQ(down.size(), 160u);
    for (size_t i = 0; i < down.size(); ++i) EXPECT_FLOAT_EQ(down[i], (3 * i) * 0.001f) << i;

    // 44.1 kHz: input position i * 2.75625, interpolated between neighbours.
    out.clear();
    ASSERT_TRUE(processor.process(makeChunk(ramp(441), 44100, 1)).isSuccess());
    auto odd = drain();
    ASSERT_EQ(odd.size(), 160u);
    EXPECT_FLOAT_EQ(odd[1], 2.75625f);
    EXPECT_FLOAT_EQ(odd[159], 438.24375f);

    // 8 kHz to 16 kHz: positions past the last pair repeat the last sample.
    out.clear();
    ASSERT_TRUE(processor.process(makeChunk({0, 2, 4, 8}, 8000, 1)).isSuccess());
    EXPECT_EQ(drain(), (std::vector<float>{0, 1, 2, 3, 4, 6, 8, 8}));
}

TEST_F(AudioProcessorTest, stereo_48k_becomes_mono_16k_chunks_of_480) {
    start(AudioProcessorConfig{});
    std::vector<float> stereo(4800 * 2, 0.25f);
    ASSERT_TRUE(processor.process(makeChunk(stereo, 48000, 2)).isSuccess());
    ASSERT_EQ(out.size(), 3u);
    for (const auto& c : out) {
        EXPECT_EQ(c.samples.size(), 480u);
        EXPECT_EQ(c.sampleRate, 16000);
        EXPECT_EQ(c.channels, 1);
        EXPECT_EQ(c.timestamp, 0u);
    }
    EXPECT_EQ(processor.getStats().samplesProcessed, 1600u);
}

TEST_F(AudioProcessorTest, rechunking_leaves_remainder_and_flush_emits_it) {
    start(rawConfig());
    ASSERT_TRUE(processor.process(makeChunk(ramp(1600), 16000, 1)).isSuccess());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].samples.front(), 480.0f);
    EXPECT_EQ(out[2].samples.back(), 1439.0f);
    EXPECT_EQ(processor.getStats().chunksEmitted, 3u);

    processor.flush();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[3].samples.size(), 160u);
    EXPECT_EQ(out[3].samples.front(), 1440.0f);
    EXPECT_EQ(processor.getStats().chunksEmitted, 4u);

    processor.flush();  // empty buffer: nothing called, nothing counted
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(processor.getStats().chunksEmitted, 4u);
}

TEST_F(AudioProcessorTest, overlap_repeats_tail_of_previous_chunk) {
    auto config = rawConfig();
    config.overlapMs = 10;
    start(config);
    ASSERT_TRUE(processor.process(makeChunk(ramp(1600), 16000, 1)).isSuccess());
    // Advance 320 per chunk: starts 0, 320, 640, 960; the fifth would need 1760 samples.
    ASSERT_EQ(out.size(), 4u);
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        ASSERT_EQ(out[i].samples.size(), 480u);
        EXPECT_TRUE(std::equal(out[i].samples.end() - 160, out[i].samples.end(),
                               out[i + 1].samples.begin()));
        EXPECT_EQ(out[i + 1].samples.front(), 320.0f * (i + 1));
    }
}

TEST_F(AudioProcessorTest, chunks_without_callback_are_still_counted_except_on_flush) {
    ASSERT_TRUE(processor.initialize(rawConfig()).isSuccess());
    ASSERT_TRUE(processor.process(makeChunk(ramp(1000), 16000, 1)).isSuccess());
    processor.flush();
    EXPECT_EQ(processor.getStats().chunksEmitted, 2u);
}

TEST_F(AudioProcessorTest, dc_tracker_removes_constant_offset) {
    uint32_t bits;
    const float gain = 1.0f - 0.999f;
    std::memcpy(&bits, &gain, sizeof bits);
    EXPECT_EQ(bits, 0x3A831200u);

    auto config = rawConfig();
    config.removeDcOffset = true;
    start(config);
    ASSERT_TRUE(processor.process(makeChunk(std::vector<float>(16000, 1.0f), 16000, 1)));
    auto run = drain();
    EXPECT_EQ(run[0], 1.0f - 0.0009999871f);
    EXPECT_LT(std::fabs(run.back()), 1e-4f);
    EXPECT_NEAR(processor.getStats().dcOffset, 1.0f, 1e-4f);

    // reset clears the tracker: the same input gives the same first sample again.
    processor.reset();
    out.clear();
    ASSERT_TRUE(processor.process(makeChunk({1.0f}, 16000, 1)));
    EXPECT_EQ(drain()[0], 1.0f - 0.0009999871f);
}

float sineGainThrough(AudioProcessor& p, std::vector<AudioChunk>& out, float hz) {
    std::vector<float> in(16000);
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = 0.5f * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 16000.0);
    }
    out.clear();
    p.reset();
    EXPECT_TRUE(p.process(makeChunk(in, 16000, 1)));
    p.flush();
    float peak = 0.0f;  // second half, after the filter settled
    size_t index = 0;
    for (const auto& c : out) {
        for (float x : c.samples) {
            if (index++ >= 8000) peak = std::max(peak, std::fabs(x));
        }
    }
    return peak / 0.5f;
}

TEST_F(AudioProcessorTest, high_pass_keeps_speech_band_and_cuts_rumble) {
    auto config = rawConfig();
    config.enableHighPass = true;
    start(config);
    ASSERT_TRUE(processor.process(makeChunk({1.0f, 0.0f}, 16000, 1)));
    auto impulse = drain();
    EXPECT_NEAR(impulse[0], 0.9695f, 1e-4f);  // alpha at 80 Hz, 16 kHz
    EXPECT_NEAR(impulse[1], impulse[0] * (impulse[0] - 1.0f), 1e-6f);

    EXPECT_GT(sineGainThrough(processor, out, 1000.0f), 0.97f);
    EXPECT_LT(sineGainThrough(processor, out, 10.0f), 0.15f);
}

TEST_F(AudioProcessorTest, noise_gate_zeroes_strictly_below_threshold) {
    auto config = rawConfig();
    config.enableNoiseGate = true;
    start(config);
    ASSERT_TRUE(processor.process(makeChunk({0.005f, -0.009f, 0.01f, -0.02f}, 16000, 1)));
    EXPECT_EQ(drain(), (std::vector<float>{0.0f, 0.0f, 0.01f, -0.02f}));
}

TEST_F(AudioProcessorTest, peak_normalisation_scales_to_target) {
    auto config = rawConfig();
    config.normalizationMode = 1;
    start(config);
    ASSERT_TRUE(processor.process(makeChunk({0.45f, -0.3f, 0.0f}, 16000, 1)));
    auto run = drain();
    EXPECT_FLOAT_EQ(run[0], 0.9f);
    EXPECT_FLOAT_EQ(run[1], -0.6f);
    EXPECT_FLOAT_EQ(processor.getStats().peakLevel, 0.9f);

    out.clear();
    ASSERT_TRUE(processor.process(makeChunk({0.0f, 0.0f}, 16000, 1)));
    EXPECT_EQ(drain(), (std::vector<float>{0.0f, 0.0f}));
}

TEST_F(AudioProcessorTest, rms_normalisation_gain_and_running_average) {
    auto config = rawConfig();
    config.normalizationMode = 2;  // target -20 dBFS = 0.1
    start(config);
    ASSERT_TRUE(processor.process(makeChunk(std::vector<float>(4, 0.05f), 16000, 1)));
    EXPECT_FLOAT_EQ(drain()[0], 0.1f);
    EXPECT_FLOAT_EQ(processor.getStats().averageRms, 0.025f);

    // Silence is left alone and pulls the average halfway towards 0.
    out.clear();
    ASSERT_TRUE(processor.process(makeChunk(std::vector<float>(4, 0.0f), 16000, 1)));
    EXPECT_EQ(drain(), std::vector<float>(4, 0.0f));
    EXPECT_FLOAT_EQ(processor.getStats().averageRms, 0.0125f);

    // A 0 dBFS target is capped so the output RMS stays at 0.5.
    config.targetLevelDb = 0.0f;
    ASSERT_TRUE(processor.updateConfig(config));
    out.clear();
    ASSERT_TRUE(processor.process(makeChunk(std::vector<float>(4, -0.1f), 16000, 1)));
    EXPECT_FLOAT_EQ(drain()[0], -0.5f);
}

TEST_F(AudioProcessorTest, lifecycle_errors_and_log_lines) {
    HostLogCapture::instance().clear();
    auto notReady = processor.process(makeChunk({1.0f}, 16000, 1));
    ASSERT_TRUE(notReady.isError());
    EXPECT_EQ(notReady.error().code, ErrorCode::NotInitialized);
    EXPECT_EQ(notReady.error().message, "Audio processor not initialized");

    // Configuration, flush, reset and statistics work before initialisation.
    auto config = rawConfig();
    config.targetSampleRate = 8000;
    EXPECT_TRUE(processor.updateConfig(config));
    EXPECT_EQ(processor.getConfig().targetSampleRate, 8000);
    processor.flush();
    processor.reset();

    ASSERT_TRUE(processor.initialize(AudioProcessorConfig{}));
    EXPECT_TRUE(processor.isInitialized());
    auto again = processor.initialize(AudioProcessorConfig{});
    ASSERT_TRUE(again.isError());
    EXPECT_EQ(again.error().code, ErrorCode::AlreadyInitialized);
    EXPECT_EQ(again.error().message, "Audio processor already initialized");

    ASSERT_TRUE(processor.process(makeChunk(std::vector<float>(100, 0.1f), 16000, 1)));
    EXPECT_GT(processor.getStats().processingTimeMs, 0.0);
    processor.resetStats();
    EXPECT_EQ(processor.getStats().samplesProcessed, 0u);
    EXPECT_EQ(processor.getStats().processingTimeMs, 0.0);

    processor.shutdown();
    processor.shutdown();
    EXPECT_FALSE(processor.isInitialized());
    auto& log = HostLogCapture::instance();
    EXPECT_EQ(log.count("[obs-sayline] [AudioProcessor] Initialized with target rate: 16000, "
                        "channels: 1"),
              1u);
    EXPECT_EQ(log.count("[obs-sayline] [AudioProcessor] Shutdown complete"), 1u);

    // Shutdown empties the buffer.
    ASSERT_TRUE(processor.initialize(rawConfig()));
    processor.setOutputCallback([this](const AudioChunk& c) { out.push_back(c); });
    processor.flush();
    EXPECT_TRUE(out.empty());
}

TEST_F(AudioProcessorTest, refuses_numbers_that_cannot_be_cut) {
    auto config = rawConfig();
    config.chunkDurationMs = 0;
    start(config);
    auto zero = processor.process(makeChunk({1.0f}, 16000, 1));
    ASSERT_TRUE(zero.isError());
    EXPECT_EQ(zero.error().code, ErrorCode::InvalidArgument);

    config.chunkDurationMs = 30;
    config.overlapMs = 30;
    processor.updateConfig(config);
    EXPECT_EQ(processor.process(makeChunk({1.0f}, 16000, 1)).error().code,
              ErrorCode::InvalidArgument);

    config.overlapMs = 0;
    processor.updateConfig(config);
    auto badRate = processor.process(makeChunk({1.0f}, 0, 1));
    ASSERT_TRUE(badRate.isError());
    EXPECT_EQ(badRate.error().code, ErrorCode::AudioFormatError);
    EXPECT_EQ(badRate.error().message, "Invalid input sample rate: 0");
    EXPECT_EQ(processor.getStats().samplesProcessed, 0u);
}

}  // namespace
}  // namespace obs_sayline
