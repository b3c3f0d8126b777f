// The host audio thread's share of streaming recognition: one 10 ms block (160 samples) through
// the speech streamer into the stream's outbox (16-bit conversion and hand-over included), in
// speech and in silence. Reports ns per block and heap allocations per block; the stream
// worker is not started, so the outbox drops its oldest audio as it would during a long drop.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "allocation_count.h"
#include "live/speech_streamer.h"
#include "live/streaming_recognition.h"
#include "support/test_audio.h"

namespace obs_sayline {
namespace {

constexpr size_t kBlock = 160;

void streamBlocks(benchmark::State& state, const test::Sound& sound) {
    auto recognition = std::make_shared<StreamingRecognition>(
        std::make_shared<RecognitionSetup>(), std::make_shared<SourceShared>(),
        std::make_shared<SubtitleSinks>(), StreamingSetup{});
    SpeechStreamer streamer(*recognition, 500);
    size_t at = 0;
    // Once through, so the outbox and the streamer have their steady state.
    for (; at + kBlock <= sound.size(); at += kBlock) streamer.feed(sound.data() + at, kBlock);
    at = 0;
    allocations.store(0);
    countHere = true;
    for (auto _ : state) {
        streamer.feed(sound.data() + at, kBlock);
        at += kBlock;
        if (at + kBlock > sound.size()) at = 0;
    }
    countHere = false;
    state.counters["allocs/block"] = benchmark::Counter(
        static_cast<double>(allocations.load()) / static_cast<double>(state.iterations()));
}

void BM_StreamSpeech(benchmark::State& state) {
    static const test::Sound speech =
        test::joined({test::silence(500), test::syllables(20000), test::silence(600)});
    streamBlocks(state, speech);
}
BENCHMARK(BM_StreamSpeech);

void BM_StreamSilence(benchmark::State& state) {
    static const test::Sound quiet = test::silence(20000);
    streamBlocks(state, quiet);
}
BENCHMARK(BM_StreamSilence);

}  // namespace
}  // namespace obs_sayline
