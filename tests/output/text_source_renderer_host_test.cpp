#include <gtest/gtest.h>
#include <obs.h>

#include <string>

#include "host/harness/obs_host.h"
#include "output/renderer_factory.h"
#include "output/subtitle_text.h"
#include "output/text_source_renderer.h"
#include "support/host_log_capture.h"

namespace obs_sayline::test {
namespace {

// The named host source and its settings, released at scope end.
struct HostText {
    explicit HostText(const char* name) : source(obs_get_source_by_name(name)) {
        if (source) settings = obs_source_get_settings(source);
    }
    ~HostText() {
        obs_data_release(settings);
        obs_source_release(source);
    }
    std::string text() const { return obs_data_get_string(settings, "text"); }
    long long value(const char* key) const { return obs_data_get_int(settings, key); }
    obs_source_t* source = nullptr;
    obs_data_t* settings = nullptr;
};

SubtitleEntry entry(const char* original, const char* translated = "") {
    SubtitleEntry e;
    e.originalText = original;
    e.translatedText = translated;
    return e;
}

class TextSourceRendererHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ObsHost::instance().freetypeLoaded());
        HostLogCapture::instance().clear();
    }
};

TEST_F(TextSourceRendererHostTest, creates_a_styled_text_source_and_writes_subtitles_into_it) {
    RendererConfig config;
    config.textSourceName = "renderer test subs";
    config.style.fontFamily = "DejaVu Sans";
    config.style.fontSize = 40;
    config.style.textColor = 0xFFFF0000;  // opaque red
    TextSourceRenderer renderer;
    SubtitleEntry shown;
    int cleared = 0;
    renderer.setOnShown([&](const SubtitleEntry& e) { shown = e; });
    renderer.setOnCleared([&] { ++cleared; });
    ASSERT_TRUE(renderer.initialize(config));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [TextSourceRenderer] Created OBS text source: renderer test subs"));
    EXPECT_TRUE(renderer.initialize(config));  // a second call changes nothing

    {
        HostText host("renderer test subs");
        ASSERT_NE(host.source, nullptr);
        EXPECT_STREQ(obs_source_get_id(host.source), kTextSourceTypeId);
        obs_data_t* font = obs_data_get_obj(host.settings, "font");
        EXPECT_STREQ(obs_data_get_string(font, "face"), "DejaVu Sans");
        EXPECT_EQ(obs_data_get_int(font, "size"), 40);
        obs_data_release(font);
        EXPECT_EQ(host.value("color1"), 0xFF0000FF);
        EXPECT_EQ(host.value("color2"), 0xFF0000FF);
        EXPECT_TRUE(obs_data_get_bool(host.settings, "outline"));
    }

    ASSERT_TRUE(renderer.showSubtitle(entry("Hello", "Bonjour")));
    {
        HostText host("renderer test subs");
        EXPECT_EQ(host.text(), "Hello");
        EXPECT_TRUE(obs_source_enabled(host.source));
    }
    EXPECT_EQ(shown.originalText, "Hello");
    EXPECT_TRUE(renderer.hasSubtitle());

    ASSERT_TRUE(renderer.updateSubtitle(entry("Hello again")));
    ASSERT_TRUE(renderer.showSubtitles({entry("one"), entry("two")}));
    EXPECT_EQ(HostText("renderer test subs").text(), "one\ntwo");
    EXPECT_EQ(renderer.getCurrentSubtitle().originalText, "one");

    SubtitleStyle green = renderer.getStyle();
    green.textColor = 0xFF00FF00;
    ASSERT_TRUE(renderer.setStyle(green));
    {
        HostText host("renderer test subs");
        EXPECT_EQ(host.value("color1"), 0xFF00FF00);
        EXPECT_EQ(host.text(), "one\ntwo");
    }

    renderer.clear();
    {
        HostText host("renderer test subs");
        EXPECT_EQ(host.text(), "");
        EXPECT_FALSE(obs_source_enabled(host.source));
    }
    EXPECT_EQ(cleared, 1);
    EXPECT_FALSE(renderer.hasSubtitle());
    EXPECT_EQ(renderer.getStatusJson(),
              "{\"sourceName\":\"renderer test subs\",\"showCount\":2,\"updateCount\":1,"
              "\"clearCount\":1,\"isVisible\":false}");

    // The limit falls inside a two-byte character, so 4095 bytes remain; the warning names 4096.
    ASSERT_TRUE(renderer.showSubtitle(entry((std::string(4095, 'a') + "\xC3\xA9").c_str())));
    EXPECT_EQ(HostText("renderer test subs").text(), std::string(4095, 'a'));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [TextSourceRenderer] Text truncated to 4096 characters"));

    renderer.setOpacity(1.5f);
    EXPECT_EQ(renderer.getOpacity(), 1.0f);
    renderer.hide();
    EXPECT_FALSE(renderer.isVisible());
    renderer.shutdown();
    EXPECT_FALSE(renderer.isInitialized());
    auto late = renderer.showSubtitle(entry("late"));
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().code, ErrorCode::RendererNotReady);
    EXPECT_EQ(late.error().message, "Renderer not initialized");
}

TEST_F(TextSourceRendererHostTest, finds_an_existing_source_and_leaves_its_look_alone) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "color1", 0xFF123456);
    obs_source_t* existing =
        obs_source_create(kTextSourceTypeId, "existing subs", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(existing, nullptr);

    TextSourceRenderer renderer;
    RendererConfig config;
    config.textSourceName = "existing subs";
    config.createSourceIfMissing = false;
    ASSERT_TRUE(renderer.initialize(config));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [TextSourceRenderer] Found existing OBS text source: existing subs"));
    ASSERT_TRUE(renderer.showSubtitle(entry("Hi")));
    {
        HostText host("existing subs");
        EXPECT_EQ(host.value("color1"), 0xFF123456);
        EXPECT_EQ(host.text(), "Hi");
    }

    // Moving to another name: a missing one is made when allowed.
    config.textSourceName = "moved subs";
    config.createSourceIfMissing = true;
    ASSERT_TRUE(renderer.updateConfig(config));
    ASSERT_TRUE(renderer.refresh());
    EXPECT_EQ(HostText("moved subs").text(), "Hi");
    EXPECT_EQ(renderer.sourceName(), "moved subs");
    renderer.shutdown();
    obs_source_release(existing);
}

TEST_F(TextSourceRendererHostTest, a_missing_source_is_an_error_when_creation_is_off) {
    TextSourceRenderer renderer;
    RendererConfig config;
    config.textSourceName = "nowhere subs";
    config.createSourceIfMissing = false;
    auto missing = renderer.initialize(config);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ErrorCode::RendererInitError);
    EXPECT_EQ(missing.error().message, "OBS text source not found: nowhere subs");
    EXPECT_EQ(renderer.getConfig().textSourceName, "nowhere subs");
    EXPECT_EQ(renderer.setStyle(SubtitleStyle{}).error().code, ErrorCode::RendererNotReady);
}

TEST_F(TextSourceRendererHostTest, factory_makes_the_text_source_renderer_only) {
    auto renderer = RendererFactory::create(1);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(renderer->getName(), "OBS Text Source");
    EXPECT_EQ(RendererFactory::create(9), nullptr);
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [RendererFactory] Unknown renderer type: 9"));
    EXPECT_FALSE(RendererFactory::registerRenderer(2, nullptr, RendererInfo{}));
}

}  // namespace
}  // namespace obs_sayline::test
