// The host audio thread's share of the Sayline source: the output callback and the append of
// one 10 ms block (160 samples at 16 kHz), with and without a recognition worker running, and
// cut at pauses in speech; and a chosen source's capture callback, which resamples the host's
// 48 kHz stereo to 16 kHz mono first. Reports ns per block and heap allocations per block.

#include <benchmark/benchmark.h>
#include <media-io/audio-io.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "allocation_count.h"
#include "live/fixed_chunker.h"
#include "plugin/audio_intake.h"
#include "plugin/source_audio_intake.h"
#include "plugin/source_capture.h"
#include "plugin/subtitle_source_data.h"
#include "stt/stt_engine_base.h"
#include "support/test_audio.h"

namespace obs_sayline {
namespace {

constexpr uint32_t kBlock = 160;

// Stays inside recognize until released: a worker that is busy with a slow service.
class SlowEngine : public SttEngineBase {
public:
    VoidResult initialize(const SttEngineConfig&) override { return VoidResult::success(); }
    void shutdown() override {}
    Result<SttResult> recognize(const AudioChunk&) override {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
        return SttResult{};
    }
    void waitEntered() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    SttEngineType getType() const override { return SttEngineType::WhisperApi; }
    std::string getName() const override { return "Slow"; }
    std::vector<std::string> getSupportedLanguages() const override { return {}; }
    bool isLanguageSupported(const std::string&) const override { return true; }
    VoidResult updateConfig(const SttEngineConfig&) override { return VoidResult::success(); }
    std::string getStatistics() const override { return "{}"; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

struct Intake {
    explicit Intake(bool slow, ChunkMode mode = ChunkMode::Fixed)
        : data(nullptr), engine(std::make_shared<SlowEngine>()) {
        if (!slow) engine->release();
        data.settings.chunkMode = mode;
        data.settings.sttEngineType = SttEngineType::WhisperApi;
        data.settings.enableTranslation = false;
        data.capture.sttEngine = engine;
        startCapture(data);
        samples.assign(kBlock, 0.25f);
        audio.data[0] = reinterpret_cast<uint8_t*>(samples.data());
        audio.frames = kBlock;
    }
    ~Intake() {
        engine->release();
        stopCapture(data);
        waitForRecognition(data);
    }
    void block() { subtitle_source_audio(&data.capture, 0, &audio); }
    void block(const float* samples) {
        audio.data[0] = reinterpret_cast<uint8_t*>(const_cast<float*>(samples));
        block();
    }

    SubtitleSourceData data;
    std::shared_ptr<SlowEngine> engine;
    std::vector<float> samples;
    audio_data audio{};
};

void reportPerBlock(benchmark::State& state, uint64_t allocationsBefore) {
    countHere = false;
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_block"] =
        benchmark::Counter(static_cast<double>(allocations.load() - allocationsBefore) /
                           static_cast<double>(state.iterations()));
}

// A fast service: every 3 s the chunk goes to the worker, which is done long before the next.
void BM_AudioBlock_NoWorker(benchmark::State& state) {
    Intake intake(false);
    // First-call log lines and the first hand-overs (which fill the buffer rotation) out of
    // the way.
    for (size_t i = 0; i < 3 * kFixedChunkSamples / kBlock; ++i) intake.block();
    countHere = true;
    const uint64_t before = allocations.load();
    for (auto _ : state) intake.block();
    reportPerBlock(state, before);
}
BENCHMARK(BM_AudioBlock_NoWorker);

// A worker is busy with a slow service: blocks pile up and the buffer is cut back to its
// newest 3 s whenever it passes 6 s.
void BM_AudioBlock_WorkerRunning(benchmark::State& state) {
    Intake intake(true);
    for (size_t i = 0; i < kFixedChunkSamples / kBlock + 1; ++i) intake.block();
    intake.engine->waitEntered();
    // Past the first growth beyond 3 s, which happens once per source.
    for (size_t i = 0; i < kFixedOverflowSamples / kBlock + 2; ++i) intake.block();
    countHere = true;
    const uint64_t before = allocations.load();
    for (auto _ : state) intake.block();
    reportPerBlock(state, before);
}
BENCHMARK(BM_AudioBlock_WorkerRunning);

// Cut at pauses: spoken sentences with pauses between them, each sent once its pause is over,
// to a fast service.
void BM_AudioBlock_Pauses(benchmark::State& state) {
    Intake intake(false, ChunkMode::Pauses);
    std::vector<float> speech;
    for (const char* text : {"Good morning everyone.", "Welcome back to the stream.",
                             "Today we build a table.", "First we measure the legs."}) {
        speech =
            test::joined({speech, test::atLevel(test::spokenText(text), -20), test::silence(800)});
    }
    const size_t blocks = speech.size() / kBlock;
    // Twice through, so every buffer of the rotation has grown to its working size.
    for (size_t i = 0; i < 2 * blocks; ++i) intake.block(speech.data() + i % blocks * kBlock);
    intake.data.capture.live->recognition().waitIdle(std::chrono::seconds(5));
    countHere = true;
    const uint64_t before = allocations.load();
    size_t i = 0;
    for (auto _ : state) {
        intake.block(speech.data() + i * kBlock);
        if (++i == blocks) i = 0;
    }
    reportPerBlock(state, before);
}
BENCHMARK(BM_AudioBlock_Pauses);

// A chosen source: 10 ms blocks of the host's 48 kHz stereo through the source intake's
// resampler into the live path. Also counts what the first blocks allocate, right after the
// resampler was made (its output buffer is grown up front).
void BM_SourceAudioBlock(benchmark::State& state) {
    Intake intake(false);
    CaptureState& capture = intake.data.capture;
    SourceAudioIntake source(*capture.live, capture.paused, intake.data.shared->status, nullptr,
                             "Mic");
    resample_info host{};
    host.samples_per_sec = 48000;
    host.format = AUDIO_FORMAT_FLOAT_PLANAR;
    host.speakers = SPEAKERS_STEREO;
    if (!source.prepareResampler(host)) {
        state.SkipWithError("no resampler");
        return;
    }
    constexpr uint32_t kHostBlock = 480;
    std::vector<float> left(kHostBlock, 0.25f), right(kHostBlock, -0.1f);
    audio_data block{};
    block.data[0] = reinterpret_cast<uint8_t*>(left.data());
    block.data[1] = reinterpret_cast<uint8_t*>(right.data());
    block.frames = kHostBlock;

    countHere = true;
    const uint64_t first = allocations.load();
    for (int i = 0; i < 10; ++i) SourceAudioIntake::capture(&source, nullptr, &block, false);
    const uint64_t firstBlocks = allocations.load() - first;
    countHere = false;
    // The first hand-overs (which fill the buffer rotation) out of the way.
    for (size_t i = 0; i < 3 * kFixedChunkSamples / kBlock; ++i) {
        SourceAudioIntake::capture(&source, nullptr, &block, false);
    }
    countHere = true;
    const uint64_t before = allocations.load();
    for (auto _ : state) SourceAudioIntake::capture(&source, nullptr, &block, false);
    reportPerBlock(state, before);
    state.counters["allocs_first_10_blocks"] = benchmark::Counter(static_cast<double>(firstBlocks));
}
BENCHMARK(BM_SourceAudioBlock);

}  // namespace
}  // namespace obs_sayline
