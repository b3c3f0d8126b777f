#include "live/speech_detector.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace obs_sayline {
namespace {

constexpr float kPi = 3.14159265f;
constexpr float kButterworthQ = 0.70710678f;

// Under this: hum, rumble and handling noise.
constexpr float kSpeechBandHz = 200;
// A frame stands out when it is this far above the floor and not quieter than kQuietestDb.
constexpr float kSoundMarginDb = 10;
constexpr float kQuietestDb = -55;
// Keeps log10 finite on digital silence.
constexpr float kTinyPower = 1e-12f;
// A constant the high-pass removes; it keeps the filter's state out of denormal numbers
// (slow on x86) when the input falls to digital silence.
constexpr float kAntiDenormal = 1e-15f;

// Speech, judged over a stretch of sound: at least 250 ms from its first to its last frame
// that stood out, with levels spread this far. Speech measured 4.2 dB and more even with
// noise or music 10 dB under it; noise and music that had just begun, 1.5 dB and less.
constexpr int kShortestSpeechFrames = 25;
constexpr float kSpeechSpreadDb = 3;
// A frame fades when it is up to this much quieter than the one before. Fading frames made
// 21-60 % of spoken sentences (dry, reverberant, under noise or music) and 71-74 % of
// plucked melodies.
constexpr float kFadeDb = 2.5f;
constexpr float kMostFading = 0.65f;

}  // namespace

Biquad Biquad::highPass(float cornerHz, float sampleRate) {
    const float w = 2.0f * kPi * cornerHz / sampleRate;
    const float cosw = std::cos(w);
    const float alpha = std::sin(w) / (2.0f * kButterworthQ);
    const float a0 = 1.0f + alpha;
    Biquad q;
    q.b0 = (1.0f + cosw) / 2.0f / a0;
    q.b1 = -(1.0f + cosw) / a0;
    q.b2 = q.b0;
    q.a1 = -2.0f * cosw / a0;
    q.a2 = (1.0f - alpha) / a0;
    return q;
}

void SoundEvidence::add(const FrameSound& frame) {
    if (all_.frames == 0 && !frame.sound) return;  // a stretch starts with sound
    if (all_.frames > 0 && frame.sound) {
        ++all_.followers;
        const float change = frame.levelDb - previousDb_;
        if (change <= 0 && change > -kFadeDb) ++all_.fading;
    }
    previousDb_ = frame.levelDb;
    ++all_.frames;
    all_.level += frame.levelDb;
    all_.levelSq += static_cast<double>(frame.levelDb) * frame.levelDb;
    if (frame.sound) last_ = all_;
}

float SoundEvidence::levelSpreadDb() const {
    if (last_.frames < 2) return 0;
    const double mean = last_.level / last_.frames;
    const double variance = last_.levelSq / last_.frames - mean * mean;
    return static_cast<float>(std::sqrt(std::max(0.0, variance)));
}

float SoundEvidence::fadingShare() const {
    if (last_.followers == 0) return 0;
    return static_cast<float>(last_.fading) / static_cast<float>(last_.followers);
}

bool SoundEvidence::speechLike() const {
    return span() >= kShortestSpeechFrames && levelSpreadDb() >= kSpeechSpreadDb &&
           fadingShare() < kMostFading;
}

SpeechDetector::SpeechDetector()
    : speechBand_(Biquad::highPass(kSpeechBandHz, static_cast<float>(kIntakeSampleRate))) {
    reset();
}

void SpeechDetector::reset() {
    speechBand_.z1 = speechBand_.z2 = 0;
    blockMin_.fill(std::numeric_limits<float>::infinity());
    currentMin_ = std::numeric_limits<float>::infinity();
    blockFrames_ = 0;
    block_ = 0;
    warm_ = false;
}

float SpeechDetector::floorDb() const {
    float floor = currentMin_;
    for (float m : blockMin_) floor = std::min(floor, m);
    return floor;
}

FrameSound SpeechDetector::analyse(const float* frame) {
    float power = 0;
    for (size_t i = 0; i < kDetectorFrameSamples; ++i) {
        const float x = speechBand_.step(frame[i] + kAntiDenormal);
        power += x * x;
    }
    FrameSound sound;
    sound.levelDb =
        10.0f * std::log10(power / static_cast<float>(kDetectorFrameSamples) + kTinyPower);
    // Nothing stands out before the floor has seen a whole block.
    sound.sound =
        warm_ && sound.levelDb > kQuietestDb && sound.levelDb > floorDb() + kSoundMarginDb;

    // The floor: the quietest frame of each 250 ms block, over the last twelve blocks.
    currentMin_ = std::min(currentMin_, sound.levelDb);
    if (++blockFrames_ == kBlockFrames) {
        blockMin_[block_] = currentMin_;
        warm_ = true;
        block_ = (block_ + 1) % kBlocks;
        currentMin_ = std::numeric_limits<float>::infinity();
        blockFrames_ = 0;
    }
    return sound;
}

}  // namespace obs_sayline
