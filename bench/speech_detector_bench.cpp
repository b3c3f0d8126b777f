// The speech detector of the pause chunker on the audio thread: CPU per 10 ms frame (160
// samples at 16 kHz), on speech and on steady noise.

#include <benchmark/benchmark.h>

#include <vector>

#include "live/speech_detector.h"
#include "support/test_audio.h"

namespace obs_sayline {
namespace {

void runFrames(benchmark::State& state, const std::vector<float>& sound) {
    SpeechDetector detector;
    const size_t frames = sound.size() / kDetectorFrameSamples;
    size_t frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.analyse(sound.data() + frame * kDetectorFrameSamples));
        if (++frame == frames) frame = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SpeechDetector_SpeechFrame(benchmark::State& state) {
    static const auto speech =
        test::atLevel(test::spokenText("Good morning everyone, and welcome back."), -20);
    runFrames(state, speech);
}
BENCHMARK(BM_SpeechDetector_SpeechFrame);

void BM_SpeechDetector_NoiseFrame(benchmark::State& state) {
    static const auto noise = test::atLevel(test::synthesised("3 pinknoise"), -40);
    runFrames(state, noise);
}
BENCHMARK(BM_SpeechDetector_NoiseFrame);

}  // namespace
}  // namespace obs_sayline
