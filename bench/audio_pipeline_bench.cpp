// Processor plus detector on one minute of 48 kHz stereo, fed in 100 ms capture chunks.
// Counters: realtime_x (seconds of audio per second of processing) and the heap allocations
// per emitted 30 ms chunk beyond the chunk itself, counted by the operator new below.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio/audio_processor.h"
#include "audio/voice_activity_detector.h"
#include "core/logger.h"

namespace {
std::atomic<uint64_t> gAllocations{0};

void* countedAlloc(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return countedAlloc(size); }
void* operator new[](std::size_t size) { return countedAlloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace obs_sayline {
namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 60;
constexpr int kChunkFrames = kRate / 10;  // 100 ms, the engine's capture chunk

// Speech-like bursts (two tones plus noise) separated by quiet stretches, so the detector
// goes through onsets, releases and segments.
std::vector<AudioChunk> makeInput() {
    std::vector<AudioChunk> chunks;
    uint32_t seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / static_cast<float>(1u << 24) - 0.5f;
    };
    const int totalFrames = kRate * kSeconds;
    for (int start = 0; start < totalFrames; start += kChunkFrames) {
        AudioChunk chunk;
        chunk.sampleRate = kRate;
        chunk.channels = 2;
        chunk.samples.resize(static_cast<size_t>(kChunkFrames) * 2);
        for (int i = 0; i < kChunkFrames; ++i) {
            const int frame = start + i;
            const double t = static_cast<double>(frame) / kRate;
            const bool talking = std::fmod(t, 2.5) < 1.5;
            float v = 0.002f * noise();
            if (talking) {
                v += static_cast<float>(0.3 * std::sin(2 * M_PI * 300 * t) +
                                        0.1 * std::sin(2 * M_PI * 1200 * t)) +
                     0.02f * noise();
            }
            chunk.samples[2 * i] = v;
            chunk.samples[2 * i + 1] = 0.9f * v;
        }
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

void BM_ProcessorPlusDetector(benchmark::State& state) {
    Logger::instance().setMinLevel(LogLevel::Warning);
    const std::vector<AudioChunk> input = makeInput();

    AudioProcessor processor;
    VoiceActivityDetector detector;
    processor.initialize(AudioProcessorConfig{});
    detector.initialize(VadConfig{});
    uint64_t emitted = 0;
    uint64_t segments = 0;
    processor.setOutputCallback([&](const AudioChunk& chunk) {
        ++emitted;
        detector.feedSamples(chunk.samples.data(), chunk.samples.size());
    });
    detector.setSegmentCallback([&](double, double) { ++segments; });

    // One untimed pass so buffers reach their steady-state capacity.
    for (const auto& chunk : input) processor.process(chunk);

    emitted = 0;
    segments = 0;
    const uint64_t allocationsBefore = gAllocations.load();
    for (auto _ : state) {
        for (const auto& chunk : input) {
            auto result = processor.process(chunk);
            benchmark::DoNotOptimize(result);
        }
    }
    const uint64_t allocations = gAllocations.load() - allocationsBefore;
    const double iterations = static_cast<double>(state.iterations());

    state.counters["realtime_x"] =
        benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["chunks_per_iter"] = static_cast<double>(emitted) / iterations;
    state.counters["segments_per_iter"] = static_cast<double>(segments) / iterations;
    // Every emitted chunk owns one allocation (its samples); anything above that is overhead.
    state.counters["extra_allocs_per_chunk"] =
        emitted ? (static_cast<double>(allocations) - static_cast<double>(emitted)) /
                      static_cast<double>(emitted)
                : 0.0;
    state.counters["allocs_per_chunk"] =
        emitted ? static_cast<double>(allocations) / static_cast<double>(emitted) : 0.0;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRate * kSeconds);
}
// Single-threaded work: rates are per CPU second, so other load on the machine does not
// skew them; the wall time is reported beside.
BENCHMARK(BM_ProcessorPlusDetector)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace obs_sayline
