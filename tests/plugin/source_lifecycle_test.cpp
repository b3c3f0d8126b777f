#include "plugin/source_lifecycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "plugin/audio_intake.h"
#include "plugin/source_properties.h"
#include "plugin/source_registration.h"
#include "plugin/source_settings.h"
#include "plugin/subtitle_render.h"
#include "plugin/subtitle_source_data.h"
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
    // Nothing else is offered to the host (no audio, no tick, no show/hide, no filtering).
    EXPECT_EQ(info.video_tick, nullptr);
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
};

TEST_F(SubtitleSourceDataTest, starts_with_the_documented_values) {
    SubtitleSourceData data(nullptr);
    EXPECT_EQ(data.source, nullptr);
    EXPECT_FALSE(data.capturing.load());
    EXPECT_EQ(data.sttEngineType, 0);
    EXPECT_TRUE(data.enableTranslation);
    EXPECT_EQ(data.translationProviderType, 0);
    EXPECT_EQ(data.sourceLanguage, "");
    EXPECT_EQ(data.targetLanguage, "en");
    EXPECT_EQ(data.maxSubtitleLength, 100);
    EXPECT_EQ(data.sttEngine, nullptr);
    EXPECT_EQ(data.translator, nullptr);
    EXPECT_EQ(data.textSource, nullptr);
    EXPECT_TRUE(data.audioBuffer.empty());
    EXPECT_GE(data.audioBuffer.capacity(), 48000u);
    EXPECT_EQ(data.audioPositionMs, 0u);
    EXPECT_FALSE(data.workerRunning.load());
    EXPECT_FALSE(data.audioConnected);
    EXPECT_EQ(data.sttApiKey, "");
    EXPECT_EQ(data.translationApiKey, "");
    EXPECT_FALSE(data.showOriginal);
    EXPECT_EQ(data.textColor, 0xFFFFFFFFu);
    EXPECT_EQ(data.fontSize, 24);
    EXPECT_FALSE(data.backgroundEnabled);
    EXPECT_EQ(data.backgroundColor, 0x80000000u);
    EXPECT_EQ(data.backgroundPadding, 10);
    EXPECT_EQ(data.originalText, "");
    EXPECT_EQ(data.translatedText, "");
    EXPECT_EQ(data.pendingText, "");
    EXPECT_FALSE(data.textDirty.load());
    EXPECT_EQ(data.shownAt, Clock::time_point{});
    EXPECT_FALSE(data.subtitleVisible);
    EXPECT_EQ(data.subtitleDurationMs, 3000);
    EXPECT_EQ(data.width.load(), 1920u);
    EXPECT_EQ(data.height.load(), 160u);
    EXPECT_FALSE(data.canvasKnown);
    EXPECT_EQ(moduleTexts(), std::vector<std::string>{"[obs-sayline] SubtitleSourceData created"});
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
        "[obs-sayline] Sayline source create called",
        "[obs-sayline] SubtitleSourceData created",
        "[obs-sayline] Sayline source created successfully",
        "[obs-sayline] Sayline source destroy called",
        "[obs-sayline] SubtitleSourceData destroying...",
        "[obs-sayline] SubtitleSourceData destroyed",
        "[obs-sayline] Sayline source destroyed successfully",
    };
    EXPECT_EQ(moduleTexts(), expected);
}

TEST_F(SubtitleSourceDataTest, destruction_waits_for_a_finishing_worker) {
    auto* data = new SubtitleSourceData(nullptr);
    data->workerRunning = true;
    std::thread worker([data] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        data->workerRunning = false;
    });
    auto start = Clock::now();
    delete data;
    auto waited = Clock::now() - start;
    worker.join();
    EXPECT_GE(waited, std::chrono::milliseconds(140));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("timeout"));
}

TEST_F(SubtitleSourceDataTest, destruction_gives_up_on_a_stuck_worker_after_five_seconds) {
    auto* data = new SubtitleSourceData(nullptr);
    data->workerRunning = true;
    auto start = Clock::now();
    delete data;
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::seconds(8));
    auto lines = HostLogCapture::instance().moduleLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2].level, LOG_WARNING);
    EXPECT_EQ(lines[2].text,
              "[obs-sayline] Destructor: audio processing still running after 5s timeout");
    EXPECT_EQ(lines[3].text, "[obs-sayline] SubtitleSourceData destroyed");
}

}  // namespace
}  // namespace obs_sayline
