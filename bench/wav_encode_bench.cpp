// Encoding one 3 s block of 16 kHz mono audio, as every recognition request does, against a
// plain copy of the same number of output bytes.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/audio_chunk.h"
#include "stt/audio_encoding.h"
#include "stt/base64.h"

namespace {

using namespace obs_sayline;

constexpr size_t kSamples = 48000;  // 3 s at 16 kHz

AudioChunk speechLikeChunk() {
    AudioChunk chunk;
    chunk.sampleRate = 16000;
    chunk.channels = 1;
    chunk.samples.resize(kSamples);
    for (size_t i = 0; i < kSamples; ++i) {
        chunk.samples[i] = 0.6f * std::sin(0.05f * static_cast<float>(i)) +
                           0.3f * std::sin(0.31f * static_cast<float>(i));
    }
    return chunk;
}

void BM_WavEncode(benchmark::State& state) {
    const AudioChunk chunk = speechLikeChunk();
    for (auto _ : state) {
        std::vector<uint8_t> wav = encodeWav(chunk);
        benchmark::DoNotOptimize(wav.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(wavSizeForSamples(kSamples)));
}
BENCHMARK(BM_WavEncode);

// Baseline: a fresh copy of an already encoded WAV file (the same 96,044 bytes).
void BM_WavCopyBaseline(benchmark::State& state) {
    const std::vector<uint8_t> source = encodeWav(speechLikeChunk());
    for (auto _ : state) {
        std::vector<uint8_t> copy = source;
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(source.size()));
}
BENCHMARK(BM_WavCopyBaseline);

// The Google request's audio: raw 16-bit PCM, then base64.
void BM_Base64PcmEncode(benchmark::State& state) {
    const AudioChunk chunk = speechLikeChunk();
    for (auto _ : state) {
        std::string text = base64Encode(encodePcm16(chunk));
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>((2 * kSamples + 2) / 3 * 4));
}
BENCHMARK(BM_Base64PcmEncode);

// Baseline: a fresh copy of the already encoded base64 text (128,000 bytes).
void BM_Base64CopyBaseline(benchmark::State& state) {
    const std::string source = base64Encode(encodePcm16(speechLikeChunk()));
    for (auto _ : state) {
        std::string copy = source;
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(source.size()));
}
BENCHMARK(BM_Base64CopyBaseline);

}  // namespace
