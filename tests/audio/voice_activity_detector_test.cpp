#include "audio/voice_activity_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

constexpr size_t kFrame = 480;  // 30 ms at 16 kHz

std::vector<float> silence() { return std::vector<float>(kFrame, 0.0f); }

std::vector<float> sine1k() {
    std::vector<float> v(kFrame);
    for (size_t i = 0; i < kFrame; ++i) {
        v[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * 1000.0 * i / 16000.0));
    }
    return v;
}

std::vector<float> alternating() {
    std::vector<float> v(kFrame);
    for (size_t i = 0; i < kFrame; ++i) v[i] = (i % 2 == 0) ? 0.0f : -0.1f;
    return v;
}

class VadTest : public ::testing::Test {
protected:
    void start(VadConfig config = VadConfig{}) {
        ASSERT_TRUE(vad.initialize(config).isSuccess());
        vad.setStateCallback([this](VadState s, const VadResult& r) {
            transitions.emplace_back(frames, s);
            EXPECT_EQ(r.state, s);
        });
        vad.setSegmentCallback([this](double a, double b) { segments.emplace_back(a, b); });
    }
    VadResult feed(const std::vector<float>& frame) {
        ++frames;
        return vad.processFrame(frame);
    }
    // Feeds `count` frames and returns the state after each.
    std::vector<VadState> feed(const std::vector<float>& frame, int count) {
        std::vector<VadState> states;
        for (int i = 0; i < count; ++i) states.push_back(feed(frame).state);
        return states;
    }

    int frames = 0;
    std::vector<std::pair<int, VadState>> transitions;  // (frame number, new state)
    std::vector<std::pair<double, double>> segments;
    // Last, so it goes first: its shutdown may still report to the vectors above.
    VoiceActivityDetector vad;
};

TEST_F(VadTest, silence_stays_silent_and_noise_floor_settles_at_minimum) {
    start();
    auto r = feed(silence());
    EXPECT_EQ(r.state, VadState::Silence);
    EXPECT_EQ(r.energy, 0.0f);
    EXPECT_EQ(r.zeroCrossingRate, 0.0f);
    EXPECT_EQ(r.confidence, 0.0f);
    EXPECT_FALSE(r.isSpeech);
    EXPECT_FLOAT_EQ(r.noiseFloor, 0.0099f);
    EXPECT_FLOAT_EQ(feed(silence()).noiseFloor, 0.009801f);

    feed(silence(), 300);
    EXPECT_EQ(vad.getNoiseFloor(), 0.001f);
    EXPECT_TRUE(transitions.empty());
    auto stats = vad.getStats();
    EXPECT_EQ(stats.totalFrames, 302u);
    EXPECT_EQ(stats.silenceFrames, 302u);
    EXPECT_EQ(stats.speechFrames, 0u);
}

TEST_F(VadTest, sine_measures_and_is_voiced_under_every_rule) {
    for (int algorithm : {0, 1, 2, 3, 42}) {
        VoiceActivityDetector detector;
        VadConfig config;
        config.algorithm = algorithm;
        ASSERT_TRUE(detector.initialize(config));
        std::vector<VadState> states;
        VadResult r;
        for (int i = 0; i < 4; ++i) {
            r = detector.processFrame(sine1k());
            states.push_back(r.state);
        }
        EXPECT_NEAR(r.energy, 0.3536f, 1e-3f);
        // 59 or 60 crossings in 479 pairs, depending on the sign of sin(k*pi) in float.
        EXPECT_NEAR(r.zeroCrossingRate, 0.124f, 2e-3f);
        EXPECT_EQ(r.confidence, 1.0f);
        EXPECT_EQ(states, (std::vector<VadState>{VadState::Silence, VadState::Silence,
                                                 VadState::SpeechStart, VadState::Speech}))
            << "algorithm " << algorithm;
    }
}

TEST_F(VadTest, alternating_samples_cross_every_pair) {
    VadConfig config;
    config.minSpeechFrames = 1;
    start(config);  // combined rule: zcr 1 is too high for speech
    auto r = feed(alternating());
    EXPECT_EQ(r.zeroCrossingRate, 1.0f);
    EXPECT_NEAR(r.energy, std::sqrt(0.005f), 1e-6f);
    EXPECT_EQ(r.state, VadState::Silence);

    VoiceActivityDetector energyOnly;
    config.algorithm = 0;
    ASSERT_TRUE(energyOnly.initialize(config));
    EXPECT_EQ(energyOnly.processFrame(alternating()).state, VadState::SpeechStart);
}

TEST_F(VadTest, onset_release_and_segment_frame_by_frame) {
    start();
    feed(sine1k(), 5);  // SpeechStart on frame 3 (speech starts at 60 ms), Speech on 4
    EXPECT_TRUE(vad.isSpeechActive());
    EXPECT_DOUBLE_EQ(vad.getSpeechDuration(), 150.0 - 60.0);

    auto states = feed(silence(), 15);  // frames 6..20
    for (int i = 0; i < 13; ++i) EXPECT_EQ(states[i], VadState::Speech) << "frame " << 6 + i;
    EXPECT_EQ(states[13], VadState::SpeechEnd);  // fourteenth unvoiced frame
    EXPECT_EQ(states[14], VadState::Silence);
    EXPECT_FALSE(vad.isSpeechActive());
    EXPECT_EQ(vad.getSpeechDuration(), 0.0);

    EXPECT_EQ(transitions, (std::vector<std::pair<int, VadState>>{{3, VadState::SpeechStart},
                                                                  {4, VadState::Speech},
                                                                  {19, VadState::SpeechEnd},
                                                                  {20, VadState::Silence}}));
    // Reported on the frame after SpeechEnd, ending at the audio time before that frame.
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0], std::make_pair(60.0, 570.0));

    auto stats = vad.getStats();
    EXPECT_EQ(stats.totalFrames, 20u);
    EXPECT_EQ(stats.speechFrames, 16u);  // frames 3 to 18
    EXPECT_EQ(stats.silenceFrames, 4u);
    EXPECT_EQ(stats.speechSegments, 1u);
    EXPECT_EQ(stats.totalSpeechMs, 480.0);
}

TEST_F(VadTest, voiced_frame_during_hangover_starts_a_new_silence_run) {
    start();
    feed(sine1k(), 4);
    auto first = feed(silence(), 12);  // countdown loaded on the tenth, two frames left
    EXPECT_EQ(first.back(), VadState::Speech);
    feed(sine1k());
    auto second = feed(silence(), 14);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(second[i], VadState::Speech) << i;
    EXPECT_EQ(second[13], VadState::SpeechEnd);
}

TEST_F(VadTest, zero_hangover_ends_on_minimum_silence) {
    VadConfig config;
    config.hangoverFrames = 0;
    start(config);
    feed(sine1k(), 4);
    auto states = feed(silence(), 10);
    EXPECT_EQ(states[8], VadState::Speech);
    EXPECT_EQ(states[9], VadState::SpeechEnd);
}

TEST_F(VadTest, adaptive_rule_follows_the_noise_floor) {
    VadConfig config;
    config.algorithm = 3;
    config.minSpeechFrames = 1;
    start(config);
    const std::vector<float> quiet(kFrame, 0.003f);
    // Floor 0.0099: threshold about 0.0198, so a 0.003 tone is noise.
    EXPECT_EQ(feed(quiet).state, VadState::Silence);
    feed(silence(), 300);
    ASSERT_EQ(vad.getNoiseFloor(), 0.001f);
    // Floor 0.001: threshold about 0.002.
    EXPECT_EQ(feed(quiet).state, VadState::SpeechStart);
}

TEST_F(VadTest, process_samples_cuts_whole_frames_only) {
    start();
    auto results = vad.processSamples(std::vector<float>(1000, 0.0f));
    EXPECT_EQ(results.size(), 2u);
    EXPECT_EQ(vad.getStats().totalFrames, 2u);
    EXPECT_TRUE(vad.processSamples({}).empty());

    std::vector<float> three(3 * kFrame, 0.0f);
    EXPECT_EQ(vad.feedSamples(three.data(), three.size() - 1), 2u);
    EXPECT_EQ(vad.getStats().totalFrames, 4u);

    VadConfig zeroFrames;
    zeroFrames.frameDurationMs = 0;
    vad.updateConfig(zeroFrames);
    EXPECT_TRUE(vad.processSamples(three).empty());
    EXPECT_EQ(vad.feedSamples(three.data(), three.size()), 0u);
}

TEST_F(VadTest, energy_threshold_is_clamped_and_zero_keeps_confidence_finite) {
    start();
    vad.setEnergyThreshold(2.0f);
    EXPECT_EQ(vad.getConfig().energyThreshold, 1.0f);
    vad.setEnergyThreshold(-1.0f);
    EXPECT_EQ(vad.getConfig().energyThreshold, 0.0f);
    EXPECT_EQ(feed(silence()).confidence, 0.0f);
    EXPECT_EQ(feed(alternating()).confidence, 1.0f);
}

TEST_F(VadTest, reset_during_speech_reports_end_without_segment) {
    start();
    feed(sine1k(), 5);
    transitions.clear();
    vad.reset();
    ASSERT_EQ(transitions.size(), 1u);
    EXPECT_EQ(transitions[0].second, VadState::SpeechEnd);
    EXPECT_TRUE(segments.empty());
    EXPECT_FALSE(vad.isSpeechActive());
    EXPECT_EQ(vad.getStats().totalFrames, 5u);  // statistics survive

    // The clock restarted: the next segment starts at 60 ms again.
    feed(sine1k(), 4);
    feed(silence(), 15);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].first, 60.0);
}

TEST_F(VadTest, lifecycle_and_log_lines) {
    HostLogCapture::instance().clear();
    auto idle = vad.processFrame(sine1k());
    EXPECT_EQ(idle.energy, 0.0f);
    EXPECT_FALSE(idle.isSpeech);
    EXPECT_TRUE(vad.processSamples(sine1k()).empty());

    ASSERT_TRUE(vad.initialize(VadConfig{}));
    auto again = vad.initialize(VadConfig{});
    ASSERT_TRUE(again.isError());
    EXPECT_EQ(again.error().code, ErrorCode::AlreadyInitialized);
    EXPECT_EQ(again.error().message, "VAD already initialized");

    vad.processFrame(sine1k());
    vad.resetStats();
    EXPECT_EQ(vad.getStats().totalFrames, 0u);

    vad.shutdown();
    vad.shutdown();
    EXPECT_FALSE(vad.isInitialized());
    auto& log = HostLogCapture::instance();
    EXPECT_EQ(log.count("[obs-sayline] [VoiceActivityDetector] Initialized with algorithm: 2, "
                        "frame size: 480"),
              1u);
    EXPECT_EQ(log.count("[obs-sayline] [VoiceActivityDetector] Shutdown complete"), 1u);
}

}  // namespace
}  // namespace obs_sayline
