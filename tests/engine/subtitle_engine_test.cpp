#include "engine/subtitle_engine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/subtitle_engine_types.h"
#include "engine_fakes.h"

namespace obs_sayline::test {
namespace {

AudioChunk mono16k(size_t samples, float value = 0.2f) {
    AudioChunk chunk;
    chunk.samples.assign(samples, value);
    chunk.sampleRate = 16000;
    chunk.channels = 1;
    return chunk;
}

AudioChunk sine16k(size_t samples, float amplitude, double hz = 1000.0) {
    AudioChunk chunk = mono16k(samples, 0.0f);
    for (size_t i = 0; i < samples; ++i) {
        chunk.samples[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * i / 16000.0));
    }
    return chunk;
}

struct Transition {
    EngineState from;
    EngineState to;
    bool operator==(const Transition& o) const { return from == o.from && to == o.to; }
};

// An engine wired to fakes: the test feeds capture chunks and scripts the services.
class EngineTest : public ::testing::Test {
protected:
    EngineTest()
        : engine([this] {
              auto made = std::make_unique<FakeCapture>(&script);
              capture = made.get();
              return made;
          }) {}

    void SetUp() override {
        config.enableVad = false;
        config.enableTranslation = false;
        config.threadCount = 1;
        engine.setOnStateChanged([this](EngineState from, EngineState to) {
            std::lock_guard<std::mutex> lock(mutex);
            transitions.push_back({from, to});
        });
        engine.setOnSubtitle([this](const SubtitleEntry& entry) {
            std::lock_guard<std::mutex> lock(mutex);
            published.push_back(entry);
        });
        engine.setOnError([this](const Error& error) {
            std::lock_guard<std::mutex> lock(mutex);
            errors.push_back(error);
        });
    }

    void startWithFakes() {
        ASSERT_TRUE(engine.initialize(config));
        engine.setSttEngine(stt);
        engine.setTranslationProvider(translator);
        engine.setRenderer(renderer);
        ASSERT_TRUE(engine.start());
    }

    bool settled(size_t publishedCount) {
        return eventually([&] {
            size_t count = 0;
            {
                std::lock_guard<std::mutex> lock(mutex);
                count = published.size();
            }
            return count >= publishedCount && engine.getStats().pendingTasks == 0;
        });
    }

    std::vector<Transition> takeTransitions() {
        std::lock_guard<std::mutex> lock(mutex);
        auto out = transitions;
        transitions.clear();
        return out;
    }

    FakeCapture::Script script;
    FakeCapture* capture = nullptr;
    std::shared_ptr<FakeStt> stt = std::make_shared<FakeStt>();
    std::shared_ptr<FakeTranslator> translator = std::make_shared<FakeTranslator>();
    std::shared_ptr<RecordingRenderer> renderer = std::make_shared<RecordingRenderer>();
    EngineConfig config;
    std::mutex mutex;
    std::vector<Transition> transitions;
    std::vector<SubtitleEntry> published;
    std::vector<Error> errors;
    SubtitleEngine engine;
};

TEST_F(EngineTest, lifecycle_reports_every_transition_but_initialise_failure_and_shutdown) {
    auto early = engine.start();
    ASSERT_FALSE(early);
    EXPECT_EQ(early.error().code, ErrorCode::NotInitialized);
    EXPECT_EQ(early.error().message, "Engine not initialized");

    startWithFakes();
    EXPECT_EQ(engine.getState(), EngineState::Running);
    auto again = engine.initialize(config);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().code, ErrorCode::AlreadyInitialized);
    EXPECT_EQ(again.error().message, "Engine already initialized");

    engine.pause();
    EXPECT_TRUE(capture->isPaused());
    ASSERT_TRUE(engine.start());  // start while paused resumes
    EXPECT_FALSE(capture->isPaused());
    ASSERT_TRUE(engine.start());  // already running: nothing happens
    engine.stop();
    engine.stop();  // not running: nothing happens
    EXPECT_FALSE(capture->isCapturing());
    engine.shutdown();
    EXPECT_FALSE(engine.isInitialized());

    using S = EngineState;
    EXPECT_EQ(takeTransitions(), (std::vector<Transition>{{S::Initialized, S::Starting},
                                                          {S::Starting, S::Running},
                                                          {S::Running, S::Paused},
                                                          {S::Paused, S::Running},
                                                          {S::Running, S::Stopping},
                                                          {S::Stopping, S::Initialized}}));
}

TEST_F(EngineTest, capture_failures_leave_the_engine_failed_and_say_why) {
    script.failInitialize = true;
    auto init = engine.initialize(config);
    ASSERT_FALSE(init);
    EXPECT_EQ(init.error().code, ErrorCode::AudioCaptureError);
    EXPECT_EQ(engine.getState(), EngineState::Uninitialized);
    EXPECT_EQ(engine.getLastError(),
              "Failed to initialize audio capture: Failed to find audio source");

    script.failInitialize = false;
    script.failStart = true;
    ASSERT_TRUE(engine.initialize(config));
    engine.setSttEngine(stt);
    engine.setRenderer(renderer);
    auto started = engine.start();
    ASSERT_FALSE(started);
    EXPECT_EQ(engine.getState(), EngineState::Failed);
    EXPECT_EQ(engine.getLastError(), "Failed to start audio capture: No audio source available");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, "No audio source available");

    script.failStart = false;  // start may be tried again from Failed
    ASSERT_TRUE(engine.start());
    EXPECT_EQ(engine.getState(), EngineState::Running);
    using S = EngineState;
    EXPECT_EQ(takeTransitions(), (std::vector<Transition>{{S::Initialized, S::Starting},
                                                          {S::Failed, S::Starting},
                                                          {S::Starting, S::Running}}));
}

TEST_F(EngineTest, without_detector_every_processed_chunk_is_recognised_and_published) {
    startWithFakes();
    capture->feed(mono16k(1600));  // 100 ms: three whole 30 ms chunks come out of the processor
    ASSERT_TRUE(settled(3));

    EngineStats stats = engine.getStats();
    EXPECT_EQ(stats.audioChunksCaptured, 1u);
    EXPECT_DOUBLE_EQ(stats.totalAudioMs, 100.0);
    EXPECT_EQ(stats.speechChunksSubmitted, 3u);
    EXPECT_EQ(stats.recognitionsCompleted, 3u);
    EXPECT_EQ(stats.subtitlesDisplayed, 3u);
    EXPECT_EQ(stats.entryCount, 3u);
    EXPECT_EQ(stats.translationsRequested, 0u);
    EXPECT_FLOAT_EQ(stats.currentLevel, 0.25f);
    EXPECT_GT(stats.averageRecognitionLatencyMs, 0.0);
    for (const auto& chunk : stt->chunks()) {
        EXPECT_EQ(chunk.samples.size(), 480u);
        EXPECT_EQ(chunk.sampleRate, 16000);
        EXPECT_EQ(chunk.channels, 1);
    }

    auto entries = engine.getAllEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].originalText, "line 0");
    EXPECT_EQ(entries[0].sourceLanguage, "ko");
    EXPECT_EQ(entries[0].startTimeMs, 10);
    EXPECT_EQ(entries[0].endTimeMs, 900);
    EXPECT_TRUE(entries[0].isFinal);
    EXPECT_EQ(entries[0].translatedText, "");  // translation off: published at once
    EXPECT_EQ(entries[0].targetLanguage, "");
    EXPECT_NE(entries[0].id, entries[1].id);
    EXPECT_EQ(renderer->shownEntries().size(), 3u);
    EXPECT_EQ(engine.getRecentEntries(2).front().originalText, "line 1");
    EXPECT_EQ(engine.getRecentEntries(10).size(), 3u);

    engine.clearEntries();
    EXPECT_TRUE(engine.getAllEntries().empty());
    EXPECT_EQ(renderer->clearCount(), 1);
}

TEST_F(EngineTest, history_keeps_the_newest_max_entries) {
    startWithFakes();
    capture->feed(mono16k(101 * 480));  // 101 processed chunks, recognised in order
    ASSERT_TRUE(settled(101));
    auto entries = engine.getAllEntries();
    ASSERT_EQ(entries.size(), 100u);
    EXPECT_EQ(entries.front().originalText, "line 1");
    EXPECT_EQ(entries.back().originalText, "line 100");
    EXPECT_EQ(engine.getStats().subtitlesDisplayed, 101u);

    // A new limit applies at once and to the entries published after it.
    EngineConfig smaller = engine.getConfig();
    smaller.maxEntries = 2;
    ASSERT_TRUE(engine.updateConfig(smaller));
    EXPECT_EQ(engine.getConfig().maxEntries, 2);
    entries = engine.getAllEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.front().originalText, "line 99");
    capture->feed(mono16k(480));
    ASSERT_TRUE(settled(102));
    entries = engine.getAllEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.front().originalText, "line 100");
    EXPECT_EQ(entries.back().originalText, "line 101");
}

TEST_F(EngineTest, empty_recognitions_make_no_entry_and_failures_are_reported) {
    stt = std::make_shared<FakeStt>([](const AudioChunk&, int call) -> Result<SttResult> {
        if (call == 0) return SttResult{};
        return Result<SttResult>(ErrorCode::RateLimitExceeded, "slow down");
    });
    startWithFakes();
    capture->feed(mono16k(960));
    ASSERT_TRUE(
        eventually([&] { return engine.getStats().pendingTasks == 0 && stt->calls() == 2; }));
    EngineStats stats = engine.getStats();
    EXPECT_EQ(stats.recognitionsCompleted, 1u);
    EXPECT_EQ(stats.recognitionErrors, 1u);
    EXPECT_EQ(stats.entryCount, 0u);
    EXPECT_TRUE(published.empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, ErrorCode::RateLimitExceeded);
    EXPECT_EQ(engine.getLastError(), "STT error: slow down");
}

TEST_F(EngineTest, translation_fills_entries_and_follows_config_updates) {
    config.enableTranslation = true;
    config.targetLanguage = "en";
    config.textSourceName = "engine subs";
    startWithFakes();
    capture->feed(mono16k(480));
    ASSERT_TRUE(settled(1));

    EngineConfig changed = engine.getConfig();
    changed.targetLanguage = "ja";
    changed.style.fontSize = 64;
    ASSERT_TRUE(engine.updateConfig(changed));
    EXPECT_EQ(engine.getConfig().targetLanguage, "ja");
    // The new look goes to the text source already in use, not to a default-named one.
    EXPECT_EQ(renderer->getConfig().textSourceName, "engine subs");
    EXPECT_EQ(renderer->getStyle().fontSize, 64);
    capture->feed(mono16k(480));
    ASSERT_TRUE(settled(2));

    translator->fail = true;  // a failed translation still shows the line
    capture->feed(mono16k(480));
    ASSERT_TRUE(settled(3));

    auto entries = engine.getAllEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].translatedText, "en:line 0");
    EXPECT_EQ(entries[0].targetLanguage, "en");
    EXPECT_EQ(entries[1].translatedText, "ja:line 1");
    EXPECT_EQ(entries[1].targetLanguage, "ja");
    EXPECT_EQ(entries[2].translatedText, "");
    EXPECT_EQ(entries[2].targetLanguage, "");
    EngineStats stats = engine.getStats();
    EXPECT_EQ(stats.translationsRequested, 3u);
    EXPECT_EQ(stats.translationsCompleted, 2u);
    EXPECT_EQ(stats.translationErrors, 1u);
    EXPECT_EQ(engine.getLastError(), "Translation error: service down");
    EXPECT_TRUE(errors.empty());  // translation failures are not reported to the owner

    engine.resetStats();
    EXPECT_EQ(engine.getStats().translationsRequested, 0u);
    EXPECT_EQ(engine.getStats().entryCount, 3u);  // the history is not a statistic
}

TEST_F(EngineTest, detector_cuts_one_speech_segment_for_recognition) {
    config.enableVad = true;
    config.vadThreshold = 0.1f;
    startWithFakes();
    // 0.6 s of a 1 kHz tone, then 0.9 s of silence to release the segment.
    for (int i = 0; i < 6; ++i) capture->feed(sine16k(1600, 0.5f));
    for (int i = 0; i < 9; ++i) capture->feed(mono16k(1600, 0.0f));
    ASSERT_TRUE(settled(1));

    auto chunks = stt->chunks();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].sampleRate, 16000);
    EXPECT_EQ(chunks[0].channels, 1);
    EXPECT_EQ(chunks[0].samples.size() % 480, 0u);
    // At least the tone from its onset (less the two frames the detector needs to decide).
    EXPECT_GE(chunks[0].samples.size(), 480u * 16);
    EngineStats stats = engine.getStats();
    EXPECT_EQ(stats.speechChunksSubmitted, 1u);
    EXPECT_GT(stats.totalSpeechMs, 0.0);
    EXPECT_DOUBLE_EQ(stats.totalAudioMs, 1500.0);
}

TEST_F(EngineTest, paused_and_stopped_engines_drop_audio) {
    startWithFakes();
    engine.pause();
    capture->feed(mono16k(480));
    engine.resume();
    EngineStats stats = engine.getStats();
    EXPECT_EQ(stats.audioChunksCaptured, 0u);
    EXPECT_GT(stats.uptimeMs + 1, 0u);
    engine.stop();
    capture->feed(mono16k(480));
    EXPECT_EQ(engine.getStats().audioChunksCaptured, 0u);
    EXPECT_EQ(engine.getStats().uptimeMs, 0u);
}

TEST_F(EngineTest, resetting_statistics_mid_task_does_not_wrap_the_pending_count) {
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    std::atomic<bool> entered{false};
    stt = std::make_shared<FakeStt>([&](const AudioChunk&, int) -> Result<SttResult> {
        entered = true;
        std::lock_guard<std::mutex> wait(gate);
        SttResult result;
        result.text = "late";
        return result;
    });
    startWithFakes();
    capture->feed(mono16k(480));
    ASSERT_TRUE(eventually([&] { return entered.load(); }));
    EXPECT_EQ(engine.getStats().pendingTasks, 1u);
    engine.resetStats();
    closed.unlock();
    ASSERT_TRUE(settled(1));
    EXPECT_EQ(engine.getStats().pendingTasks, 0u);
    EXPECT_EQ(engine.getStats().recognitionsCompleted, 1u);
}

TEST_F(EngineTest, export_writes_the_history_or_refuses_unknown_formats) {
    startWithFakes();
    capture->feed(mono16k(480));
    ASSERT_TRUE(settled(1));

    auto refused = engine.exportSubtitles("/tmp/never-written.srt", 7, ExportOptions{});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, ErrorCode::NotSupported);
    EXPECT_EQ(refused.error().message, "Export format not supported");

    char path[] = "/tmp/sayline-engine-XXXXXX.srt";
    int fd = mkstemps(path, 4);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(engine.exportSubtitles(path, 0, ExportOptions{}));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "1\n00:00:00,010 --> 00:00:00,900\nline 0\n");
    std::remove(path);
}

TEST(EngineIdTest, ids_join_time_and_counter_in_hex) {
    EXPECT_EQ(makeEntryId(0x18c2a5b3f00ULL, 255), "18c2a5b3f00-ff");
    const std::string a = nextEntryId();
    const std::string b = nextEntryId();
    EXPECT_NE(a.substr(a.find('-')), b.substr(b.find('-')));
    EXPECT_DOUBLE_EQ(smoothLatency(0.0, true, 40.0), 40.0);
    EXPECT_DOUBLE_EQ(smoothLatency(40.0, false, 140.0), 50.0);
}

}  // namespace
}  // namespace obs_sayline::test
