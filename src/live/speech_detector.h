#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "live/chunker.h"

namespace obs_sayline {

// The detector looks at the intake in frames of 10 ms.
constexpr size_t kDetectorFrameSamples = intakeSamples(10);

// Gathers host blocks of any size into whole detector frames, keeping the frame not yet full.
class FrameGatherer {
public:
    template <typename OnFrame>
    void feed(const float* samples, size_t count, OnFrame&& onFrame) {
        while (count > 0) {
            const size_t take = std::min(count, kDetectorFrameSamples - fill_);
            std::copy(samples, samples + take, frame_.begin() + static_cast<long>(fill_));
            fill_ += take;
            samples += take;
            count -= take;
            if (fill_ == kDetectorFrameSamples) {
                fill_ = 0;
                onFrame(frame_.data());
            }
        }
    }

    // Moves the frame not yet full to the end of `to`.
    void takePartial(std::vector<float>& to) {
        to.insert(to.end(), frame_.begin(), frame_.begin() + static_cast<long>(fill_));
        fill_ = 0;
    }
    void reset() { fill_ = 0; }

private:
    std::array<float, kDetectorFrameSamples> frame_{};
    size_t fill_ = 0;
};

// A second-order filter section (transposed direct form II).
struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float z1 = 0, z2 = 0;

    static Biquad highPass(float cornerHz, float sampleRate);

    float step(float x) {
        const float y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// What one 10 ms frame sounds like.
struct FrameSound {
    float levelDb = -120;  // speech band (200 Hz and up), dBFS
    bool sound = false;    // stands out from the background
};

// What a stretch of sound was like, from its first frame that stood out to its last. Speech
// rises and falls with its syllables and words; what stands out only because it began (noise
// or hum switched on, music starting after silence) keeps an even level until the floor has
// caught up with it, and plucked or struck notes mostly die away smoothly, frame after frame.
class SoundEvidence {
public:
    void add(const FrameSound& frame);
    void clear() { *this = SoundEvidence(); }

    // Frames from the first that stood out to the last one added that did.
    int span() const { return last_.frames; }
    // Spread (standard deviation) of the frames' level over that span, dB.
    float levelSpreadDb() const;
    // Share of the frames that stood out (after the first) that were a little quieter than
    // the frame before: a note dying away.
    float fadingShare() const;
    // Long enough to keep (250 ms), uneven enough to be speech, and not a run of fading notes.
    bool speechLike() const;

private:
    struct Sums {
        int frames = 0;
        double level = 0, levelSq = 0;
        int followers = 0;  // frames that stood out, after the first
        int fading = 0;     // of those, a little quieter than the frame before
    };
    Sums all_;
    Sums last_;  // as of the last frame that stood out
    float previousDb_ = 0;
};

// Tells frames that stand out from the background from those that do not. The background is
// a noise floor that follows the quietest frame of the last 3 s, so steady noise, hum and
// held music become background within 3 s, and speech over them still stands out. Plain
// arithmetic over one frame: no allocation, no locks; meant for the audio thread.
class SpeechDetector {
public:
    SpeechDetector();
    void reset();

    // One frame of exactly kDetectorFrameSamples samples.
    FrameSound analyse(const float* frame);

    float floorDb() const;

private:
    static constexpr int kBlockFrames = 25;  // 250 ms
    static constexpr size_t kBlocks = 12;    // 3 s of history for the floor

    Biquad speechBand_;
    std::array<float, kBlocks> blockMin_{};
    float currentMin_ = 0;
    int blockFrames_ = 0;
    size_t block_ = 0;
    bool warm_ = false;
};

}  // namespace obs_sayline
