#include "plugin/source_lifecycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "live/fixed_chunker.h"
#include "plugin/source_capture.h"
#include "plugin/source_properties.h"
#include "plugin/source_registration.h"
#include "plugin/source_settings.h"
#include "plugin/scene_render.h"
#include "plugin/subtitle_source_data.h"
#include "core/worker_registry.h"
#include "scripted_engine.h"
#include "support/module_workers.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using Clock = std::chrono::steady_clock;

std::vector<std::string> moduleTexts() {
    std::vector<std::string> out;
    for (auto& line : HostLogCapture::instance().moduleLines()) out.push_back(line.text);
    return out;
}

TEST(SourceRegistrationTest, record_describes_a_video_input_with_custom_draw) {
    obs_source_info info = makeSourceInfo();
    EXPECT_STREQ(info.id, "sayline_source");
    EXPECT_EQ(info.type, OBS_SOURCE_TYPE_INPUT);
    EXPECT_EQ(info.output_flags, 9u);
    ASSERT_NE(info.get_name, nullptr);
    EXPECT_STREQ(info.get_name(nullptr), "Sayline");
    EXPECT_EQ(info.create, &subtitle_source_create);
    EXPECT_EQ(info.destroy, &subtitle_source_destroy);
    ASSERT_NE(info.get_width, nullptr);
    ASSERT_NE(info.get_height, nullptr);
    EXPECT_EQ(info.get_width(nullptr), 1920u);
    EXPECT_EQ(info.get_height(nullptr), 160u);
    // The scene moves on in the tick and is drawn in render; nothing else is offered to the
    // host (no audio, no show/hide, no filtering).
    EXPECT_EQ(info.video_tick, &subtitle_source_tick);
    EXPECT_EQ(info.audio_render, nullptr);
    EXPECT_EQ(info.filter_audio, nullptr);
    EXPECT_EQ(info.filter_video, nullptr);
    EXPECT_EQ(info.show, nullptr);
    EXPECT_EQ(info.hide, nullptr);
    EXPECT_EQ(info.get_defaults, &subtitle_source_defaults);
    EXPECT_EQ(info.get_properties, &subtitle_source_properties);
    EXPECT_EQ(info.update, &subtitle_source_update);
    EXPECT_EQ(info.activate, &subtitle_source_activate);
    EXPECT_EQ(info.deactivate, &subtitle_source_deactivate);
    EXPECT_EQ(info.video_render, &subtitle_source_render);
}

class SubtitleSourceDataTest : public ::testing::Test {
protected:
    void SetUp() override { HostLogCapture::instance().clear(); }
    void TearDown() override { test::joinModuleWorkers(); }
};

TEST_F(SubtitleSourceDataTest, starts_with_the_documented_values) {
    SubtitleSourceData data(nullptr);
    const SourceSettings& s = data.settings;
    EXPECT_EQ(data.source, nullptr);
    EXPECT_FALSE(data.capture.capturing.load());
    EXPECT_EQ(s.sttEngineType, SttEngineType::None);
    EXPECT_TRUE(s.enableTranslation);
    EXPECT_EQ(s.translationProviderType, ProviderType::None);
    EXPECT_EQ(s.sourceLanguage, "");
    EXPECT_EQ(s.targetLanguage, "en");
    EXPECT_EQ(s.maxSubtitleLength, 100);
    EXPECT_EQ(data.capture.sttEngine, nullptr);
    EXPECT_EQ(data.capture.translator, nullptr);
    EXPECT_EQ(data.rows->row(0), nullptr);  // made when the first subtitle is laid out
    EXPECT_EQ(data.shared->audioPositionMs, 0u);
    EXPECT_EQ(data.capture.live, nullptr);  // no worker
    EXPECT_FALSE(data.capture.audioConnected);
    EXPECT_EQ(s.sttApiKey, "");
    EXPECT_EQ(s.translationApiKey, "");
    EXPECT_FALSE(s.showOriginal);
    EXPECT_EQ(s.textColor, 0xFFFFFFFFu);
    EXPECT_EQ(s.fontSize, 24);
    EXPECT_FALSE(s.backgroundEnabled);
    EXPECT_EQ(s.backgroundColor, 0x80000000u);
    EXPECT_EQ(s.backgroundPadding, 10);
    EXPECT_EQ(data.scene->originalText(), "");
    EXPECT_EQ(data.scene->translatedText(), "");
    EXPECT_EQ(data.scene->pendingText(), "");
    EXPECT_FALSE(data.scene->dirty());
    EXPECT_EQ(data.scene->timeline().shownAt, Clock::time_point{});
    EXPECT_FALSE(data.scene->timeline().visible);
    EXPECT_EQ(s.subtitleDurationMs, 3000);
    EXPECT_EQ(data.width.load(), 1920u);
    EXPECT_EQ(data.height.load(), 160u);
    EXPECT_EQ(moduleTexts(), std::vector<std::string>{"[obs-sayline] Sayline source created"});

    // The intake buffer of a capture holds three seconds without growing.
    struct Idle : IChunkConsumer {
        bool idle() const override { return true; }
        bool offer(SpeechChunk&) override { return false; }
    } idle;
    FixedChunker chunker(idle);
    EXPECT_EQ(chunker.buffered(), 0u);
    EXPECT_GE(chunker.pending().samples.capacity(), 48000u);
}

TEST_F(SubtitleSourceDataTest, create_and_destroy_log_in_order) {
    void* data = subtitle_source_create(nullptr, nullptr);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(subtitle_source_get_width(data), 1920u);
    EXPECT_EQ(subtitle_source_get_height(data), 160u);
    static_cast<SubtitleSourceData*>(data)->width = 1280;
    EXPECT_EQ(subtitle_source_get_width(data), 1280u);
    subtitle_source_destroy(data);
    subtitle_source_destroy(nullptr);  // accepted, logs nothing

    const std::vector<std::string> expected = {
        "[obs-sayline] Sayline source created",
        "[obs-sayline] Sayline source destroying",
        "[obs-sayline] Sayline source destroyed",
    };
    EXPECT_EQ(moduleTexts(), expected);
}

// A record whose worker is inside a held request.
SubtitleSourceData* recordWithBusyWorker(const std::shared_ptr<test::ScriptedEngine>& engine) {
    auto* data = new SubtitleSourceData(nullptr);
    data->settings.sttEngineType = SttEngineType::WhisperApi;
    data->settings.enableTranslation = false;
    data->capture.sttEngine = engine;
    startCapture(*data);
    engine->hold();
    const std::vector<float> block(kFixedChunkSamples, 0.2f);
    data->capture.live->feed(block.data(), block.size());
    EXPECT_TRUE(engine->waitForCalls(1, std::chrono::seconds(2)));
    return data;
}

TEST_F(SubtitleSourceDataTest, destruction_waits_for_a_finishing_worker) {
    auto engine = std::make_shared<test::ScriptedEngine>();
    auto* data = recordWithBusyWorker(engine);
    std::thread worker([engine] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        engine->release();
    });
    auto start = Clock::now();
    delete data;
    auto waited = Clock::now() - start;
    worker.join();
    EXPECT_GE(waited, std::chrono::milliseconds(140));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("still recognising"));
}

TEST_F(SubtitleSourceDataTest, destruction_gives_up_on_a_stuck_worker_after_five_seconds) {
    auto engine = std::make_shared<test::ScriptedEngine>();
    auto* data = recordWithBusyWorker(engine);
    HostLogCapture::instance().clear();
    auto start = Clock::now();
    delete data;
    auto waited = Clock::now() - start;
    // Read before the worker is let go: it then logs its late result.
    auto lines = HostLogCapture::instance().moduleLines();
    engine->release();
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::seconds(8));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].level, LOG_WARNING);
    EXPECT_EQ(lines[lines.size() - 2].text,
              "[obs-sayline] Sayline source still recognising after 5 s while destroyed - its "
              "result is dropped");
    EXPECT_EQ(lines.back().text, "[obs-sayline] Sayline source destroyed");
}

TEST_F(SubtitleSourceDataTest, destruction_with_leftover_and_no_busy_worker_returns_at_once) {
    auto engine = std::make_shared<test::ScriptedEngine>();
    engine->hold();
    auto* data = new SubtitleSourceData(nullptr);
    data->settings.sttEngineType = SttEngineType::WhisperApi;
    data->settings.enableTranslation = false;
    data->capture.sttEngine = engine;
    startCapture(*data);
    const std::vector<float> leftover(16000, 0.2f);
    data->capture.live->feed(leftover.data(), leftover.size());

    auto start = Clock::now();
    delete data;
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
    // The leftover is still sent; its late result goes nowhere.
    ASSERT_TRUE(engine->waitForCalls(1, std::chrono::seconds(2)));
    HostLogCapture::instance().clear();
    engine->release();
    ASSERT_TRUE(WorkerRegistry::instance().waitIdle(std::chrono::seconds(2)));
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [STT] Source is gone, result dropped"));
}

}  // namespace
}  // namespace obs_sayline
